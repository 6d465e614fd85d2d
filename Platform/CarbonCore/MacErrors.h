// The status codes the platform calls answer.
#pragma once

#include <CoreFoundation/MacTypes.h>

inline constexpr OSErr bdNamErr = -37;              // a name or path that cannot be used
inline constexpr OSErr fnfErr = -43;                // no such file or folder
inline constexpr OSErr paramErr = -50;              // a bad argument
inline constexpr OSErr memFullErr = -108;           // out of memory
inline constexpr OSErr memWZErr = -111;             // not a live memory block
inline constexpr OSErr errFSRefsDifferent = -1420;  // two references to different files
inline constexpr OSErr dskFulErr = -34;             // the disk is full
inline constexpr OSErr ioErr = -36;                 // the file system failed to read or write
inline constexpr OSErr tmfoErr = -42;               // too many files open
inline constexpr OSErr vLckdErr = -46;              // the volume is read-only
inline constexpr OSErr fBsyErr = -47;               // the file or folder is busy
inline constexpr OSErr dupFNErr = -48;              // an object of that name exists already
inline constexpr OSErr rfNumErr = -51;              // not an open fork
inline constexpr OSErr dirNFErr = -120;             // no such folder
inline constexpr OSErr procNotFound = -600;         // no (further) process
inline constexpr OSErr notAFileErr = -1302;         // a folder where a file was expected
inline constexpr OSErr diffVolErr = -1303;          // the objects are on different volumes
inline constexpr OSErr errFSNotAFolder = -1407;     // a file where a folder was expected
inline constexpr OSErr errFSForkNotFound = -1409;   // a fork the file does not have
inline constexpr OSErr errFSNoMoreItems = -1417;    // an iterator has given every item
inline constexpr OSErr errFSBadIteratorFlags = -1422;
inline constexpr OSErr afpAccessDenied = -5000;  // the user may not do that
inline constexpr OSErr gestaltUndefSelectorErr = -5551;
inline constexpr OSStatus kLSApplicationNotFoundErr = -10814;  // nothing can open the item
// The Pasteboard Manager's.
inline constexpr OSStatus badPasteboardSyncErr = -25130;          // the pasteboard cannot be reached now
inline constexpr OSStatus badPasteboardIndexErr = -25131;         // no item at that index
inline constexpr OSStatus badPasteboardItemErr = -25132;          // no item of that identifier
inline constexpr OSStatus badPasteboardFlavorErr = -25133;        // the item has no such flavour
inline constexpr OSStatus duplicatePasteboardFlavorErr = -25134;  // the item has that flavour already
inline constexpr OSStatus notPasteboardOwnerErr = -25135;         // put without clearing first
inline constexpr OSStatus noPasteboardPromiseKeeperErr = -25136;  // a promise no one will keep
