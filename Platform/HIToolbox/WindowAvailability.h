// Where a window is available: left out of the window overview (on X11:
// out of task bars and pagers), shown on every workspace. On an X server
// these are the EWMH states _NET_WM_STATE_SKIP_TASKBAR,
// _NET_WM_STATE_SKIP_PAGER and _NET_WM_STATE_STICKY; the window keeps them
// across being hidden and shown again (a window manager drops a withdrawn
// window's states). Elsewhere the flags are only remembered.
//
// Also here: what the X server says about the desktop under our windows,
// for windows that draw over it.
#pragma once

#include <CoreGraphics/CGImage.h>
#include <HIToolbox/MacWindows.h>

typedef UInt64 HIWindowAvailability;

enum : HIWindowAvailability {
    kHIWindowExposeHidden = 1 << 0,
    kHIWindowVisibleInAllSpaces = 1 << 8,
};

// Sets, then clears, the flags. errInvalidWindowRef for a window that is
// not live; the flags are then untouched.
OSStatus HIWindowChangeAvailability(WindowRef window, HIWindowAvailability setAvailability,
                                    HIWindowAvailability clearAvailability);
// paramErr for a nil output; errInvalidWindowRef (output untouched) for a
// window that is not live.
OSStatus HIWindowGetAvailability(WindowRef window, HIWindowAvailability* outAvailability);

// Our additions.

// Whether a compositing manager runs on the X screen of the application
// (the owner of the selection _NET_WM_CM_S<screen>): translucent pixels of
// a window are then blended with what lies beneath. False off X11.
Boolean HIDesktopIsComposited();
// The picture of the X root window (the pixmap named by _XROOTPMAP_ID,
// else ESETROOT_PMAP_ID) within `globalBounds` (global coordinates, as
// window bounds), as a new opaque image the caller releases. Nil when no
// picture is set, off X11, or for empty bounds.
CGImageRef HIDesktopCopyRootPicture(CGRect globalBounds);
