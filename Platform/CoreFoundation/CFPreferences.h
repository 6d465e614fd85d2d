// Application preferences: one keyed store of property-list values per
// application identifier, kept in the XML property-list file
// "<identifier>.plist" in the user's preferences folder (Paths), the file
// both of our programs read and write.
//
// A store is read from its file when first used, and read again whenever
// the file has been replaced or changed on disk, so a value another process
// has synchronised is seen without asking. Values set here stay pending in
// this process until CFPreferencesAppSynchronize, which takes the store's
// lock (the file "<identifier>.plist.lock" next to it), reads the file
// afresh, lays only this process's pending sets and removals over what it
// finds, and replaces the file atomically. Two processes that change
// different keys therefore never undo each other; for one key the last
// synchronisation wins.
//
// A file that is not a property list with a dictionary at its root is moved
// aside (to "<identifier>.plist.unreadable-<date>-<time>") with one warning,
// and the store starts from nothing. A file that exists but cannot be read
// at all (no permission, an I/O error, larger than the 32 MB the store ever
// reads or writes) is never written over: the store reads as empty and
// synchronisation fails, keeping the pending changes.
//
// All functions may be called from any thread.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFPropertyList.h>
#include <CoreFoundation/CFString.h>

// Stands for the identifier of the running program: its main bundle's
// "CFBundleIdentifier", or "brindlet.unbundled" for a program whose bundle
// has none (tools and test programs), so that such a program never writes
// into an application's own preferences.
extern const CFStringRef kCFPreferencesCurrentApplication;

// An identifier names a file, so it must be a plain file name: not empty,
// no "/" and no control characters, not beginning with ".", at most 200
// bytes of UTF-8. Calls with any other identifier do nothing, answer nil or
// false, and write a warning; so do sets with a key that is not a string.

// The value under `key`, retained for the caller (who releases it); nil
// when there is none. Values are immutable.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);

// Sets the value under `key` in this process (an immutable copy of it is
// kept); nil removes the key. A value that is not a property list, or too
// large for the file, is refused with a warning and changes nothing.
// Nothing reaches the file until CFPreferencesAppSynchronize.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);

// Writes this process's pending changes to the file as described above, and
// re-reads the file in any case. True when the store now matches the file
// (nothing was pending, or the write succeeded); false when the file could
// not be read or written, or would be too large with the changes (with a
// warning), in which case the changes stay pending.
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);
