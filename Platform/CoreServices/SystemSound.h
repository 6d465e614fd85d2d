// System sounds: the alert sound, and sound files registered as sound
// actions. Sounds play through libcanberra (the user's sound server).
// Where nothing can play them (no sound server, no sound card, a file that
// is no sound) they are silent, and one line says so: the first failure
// writes "Warning: ..." once, and nothing more is written until a sound
// has played again.
#pragma once

#include <CoreServices/Files.h>

typedef UInt32 SystemSoundActionID;

// Registers a sound file; fnfErr when it does not exist, notAFileErr when
// it is no plain file. The action stays until removed.
OSStatus SystemSoundGetActionID(const FSRef* userFile, SystemSoundActionID* outAction);
// paramErr for an action that is not registered.
OSStatus SystemSoundRemoveActionID(SystemSoundActionID inAction);
// Plays a registered sound as the alert sound; nothing for an unknown action.
void AlertSoundPlayCustomSound(SystemSoundActionID inAction);
// The user's alert sound (the theme's "bell").
void AlertSoundPlay();
// The same; the duration is not used.
void SysBeep(short duration);

// Our addition: the next failure is reported again.
void SystemSoundResetFailureReport();
