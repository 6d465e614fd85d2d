// One running instance per program, and the process services between
// instances of our programs, over the D-Bus session bus.
//
// The program's instance owns the bus name "org.brindlet.Instance." plus
// its bundle identifier (each character a bus name cannot hold becomes
// "_") and serves the object /org/brindlet/Instance, interface
// org.brindlet.Instance:
//
//   OpenDocuments(as paths) -> b   brings the instance to the front and
//                                  queues 'aevt'/'odoc' for the absolute
//                                  paths of existing files among them
//                                  ('aevt'/'rapp' when there are none)
//   Activate()                     SetFrontProcess of the instance
//   SetVisible(b)                  ShowHideProcess of the instance
//   IsVisible() -> b               IsProcessVisible of the instance
//
// SetFrontProcess, ShowHideProcess and IsProcessVisible reach another of
// our processes through these. Anything on the session bus may call them
// (it is the user's own); what they are given is checked before use.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// Decides at start-up, once the Qt application object exists and before
// the event loop runs, whether this launch is the program's instance.
// True: another instance of the program runs and took this launch's files
// (its command-line files, as AEDeliverLaunchDocuments reads them): the
// caller ends with success. False: this launch is the instance; it owns the
// name from now on, and its own files arrive as its launch event
// (AEDeliverLaunchDocuments) once the loop runs. A nil identifier is the
// main bundle's. Without a bundle identifier, a Qt application object or a
// session bus, every launch is an instance of its own (false, with one
// "Warning: ..." line). An instance that does not answer within ten
// seconds keeps the files from being handed over: the line "Warning: The
// running instance of <identifier> does not answer; the files were not
// handed over." is written and the answer is true all the same, so that no
// second instance works on the same documents.
Boolean LaunchSingleInstance(CFStringRef bundleIdentifier, int argc, const char* const* argv);

// Gives the name up and stops serving the object (the bus does as much
// when the process ends). Nothing when this launch is no instance. Giving
// the name up is a round trip to the bus, so the answers to requests
// handled before it have left this process when it returns: a program
// that ends calls it last, and no request it answered goes unanswered.
void EndSingleInstance();

// The bus name of a bundle identifier's instance (nil: the main
// bundle's); empty when the identifier leaves nothing a bus name can hold.
CFStringRef CopySingleInstanceBusName(CFStringRef bundleIdentifier);
