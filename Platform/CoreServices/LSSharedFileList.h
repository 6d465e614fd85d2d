// Shared file lists: the session's login items. Each login item is an XDG
// autostart entry, a .desktop file in $XDG_CONFIG_HOME/autostart, which the
// desktop session starts when the user logs in. Entries made here record
// the item they start (X-Brindlet-Path), so that inserting the same item
// again rewrites its entry instead of adding a second one.
#pragma once

#include <CoreServices/Files.h>
#include <CoreServices/IconServices.h>

typedef const struct OpaqueLSSharedFileListRef* LSSharedFileListRef;
typedef const struct OpaqueLSSharedFileListItemRef* LSSharedFileListItemRef;

extern const CFStringRef kLSSharedFileListSessionLoginItems;
// Positions for insertion; the order of autostart entries means nothing,
// so every position is the same.
extern const LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst;
extern const LSSharedFileListItemRef kLSSharedFileListItemLast;

CFTypeID LSSharedFileListGetTypeID();
CFTypeID LSSharedFileListItemGetTypeID();

// The list of that type (only kLSSharedFileListSessionLoginItems is known);
// nil otherwise. Released with CFRelease.
LSSharedFileListRef LSSharedFileListCreate(CFAllocatorRef inAllocator, CFStringRef inListType, CFTypeRef listOptions);
// The items as they are now (one per .desktop file of the folder, in name
// order); a new array.
CFArrayRef LSSharedFileListCopySnapshot(LSSharedFileListRef inList, UInt32* outSnapshotSeed);
// Adds the item (or rewrites its entry when it has one) so that it starts
// at login: an executable file is run, anything else opened. The entry is
// written atomically. A new item the caller releases; nil when the item
// does not exist or its path cannot be written into an entry.
LSSharedFileListItemRef LSSharedFileListInsertItemFSRef(LSSharedFileListRef inList,
                                                        LSSharedFileListItemRef insertAfterThisItem,
                                                        CFStringRef inDisplayName, IconRef inIconRef,
                                                        const FSRef* inFSRef, CFDictionaryRef inPropertiesToSet,
                                                        CFArrayRef inPropertiesToClear);
// Removes the item's entry.
OSStatus LSSharedFileListItemRemove(LSSharedFileListRef inList, LSSharedFileListItemRef inItem);
// The entry's name; a new string.
CFStringRef LSSharedFileListItemCopyDisplayName(LSSharedFileListItemRef inItem);
// The item the entry starts. fnfErr when it is gone or the entry names none.
OSStatus LSSharedFileListItemResolve(LSSharedFileListItemRef inItem, UInt32 inFlags, CFURLRef* outURL, FSRef* outRef);
