// A scripted driver for tests of windows and what is built on them: input
// goes in through Qt's window-system path (so modality, focus and routing
// are those a user meets), and the loop runs until nothing is left to do.
// Linked only into test programs (brindlet_hitoolbox_testing).
#pragma once

#include <HIToolbox/MacWindows.h>

#include <qnamespace.h>

// A click (press and release) at a point of the window's content (window
// coordinates). `clicks` 2 gives a double click.
void TestClick(WindowRef window, HIPoint point, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier, int clicks = 1);
void TestMousePress(WindowRef window, HIPoint point, Qt::MouseButton button = Qt::LeftButton,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void TestMouseRelease(WindowRef window, HIPoint point, Qt::MouseButton button = Qt::LeftButton,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void TestMouseMove(WindowRef window, HIPoint point);
void TestWheel(WindowRef window, HIPoint point, int notches, Qt::Orientation orientation = Qt::Vertical);
// A key typed (pressed and released) into the window.
void TestKeyClick(WindowRef window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The window's close box.
void TestClickCloseBox(WindowRef window);
// What a window manager does when the user clicks another window: the
// window system activates the window (a shown one), and the toolbox hears
// of it as of any activation from outside.
void TestActivateWindow(WindowRef window);
// Runs the loop until no event, queued Carbon event or due timer is left
// (at most `limitSeconds`).
void TestRunUntilIdle(double limitSeconds = 1.0);
