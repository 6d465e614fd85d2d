// The Cocoa application classes the units use.
#pragma once

#include <AppKit/CAAnimation.h>
#include <AppKit/CFUserNotification.h>
#include <AppKit/ModalHold.h>
#include <AppKit/NSAlert.h>
#include <AppKit/NSColor.h>
#include <AppKit/NSControl.h>
#include <AppKit/NSFont.h>
#include <AppKit/NSImage.h>
#include <AppKit/NSMenuItem.h>
#include <AppKit/NSScreen.h>
#include <AppKit/NSTextDrawing.h>
#include <AppKit/NSView.h>
#include <AppKit/NSViewController.h>
#include <AppKit/NSWindow.h>
#include <AppKit/NSWindowController.h>
#include <AppKit/NSWorkspace.h>
#include <Foundation/Foundation.h>
