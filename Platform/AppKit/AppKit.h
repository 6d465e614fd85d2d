// The Cocoa application classes the units use.
#pragma once

#include <AppKit/NSAlert.h>
#include <AppKit/NSColor.h>
#include <AppKit/NSFont.h>
#include <AppKit/NSImage.h>
#include <AppKit/NSScreen.h>
#include <AppKit/NSTextDrawing.h>
#include <AppKit/NSWorkspace.h>
#include <Foundation/Foundation.h>
