// Read streams: the bytes of a resource as they arrive, without blocking.
// A client callback hears of the stream's progress while the stream is
// scheduled on a run loop; the only kind of stream here is the HTTP stream
// of CFHTTPStream.h.
//
// What a client can count on:
// - After a successful open, OpenCompleted comes first, on a later pass of
//   the loop, never from inside the call that opened the stream.
// - HasBytesAvailable comes while unread bytes are waiting. A read takes at
//   most what it asks for and leaves the rest for the next read; the event
//   comes again on a later pass for as long as bytes are left, after any
//   read and whenever more arrive (a client that reads nothing is not told
//   again until more arrive, so an idle client costs nothing).
// - Exactly one of EndEncountered and ErrorOccurred ends the stream, and
//   nothing follows either. The end comes once every byte was read; an
//   error comes after the bytes that arrived before it were read, when the
//   client hears of bytes, and at once when it does not.
// - No event comes after the stream was closed, the client removed or the
//   stream unscheduled, nor from inside any call of this interface. The
//   callback may close, unschedule and release the stream it is told about.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>

typedef struct CFReadStreamObject* CFReadStreamRef;

typedef CFIndex CFStreamStatus;
enum : CFStreamStatus {
    kCFStreamStatusNotOpen = 0,
    kCFStreamStatusOpening = 1,
    kCFStreamStatusOpen = 2,
    kCFStreamStatusReading = 3,
    kCFStreamStatusWriting = 4,
    kCFStreamStatusAtEnd = 5,
    kCFStreamStatusClosed = 6,
    kCFStreamStatusError = 7,
};

typedef CFOptionFlags CFStreamEventType;
enum : CFStreamEventType {
    kCFStreamEventNone = 0,
    kCFStreamEventOpenCompleted = 1,
    kCFStreamEventHasBytesAvailable = 2,
    kCFStreamEventCanAcceptBytes = 4,
    kCFStreamEventErrorOccurred = 8,
    kCFStreamEventEndEncountered = 16,
};

// Error domains. Which one a failure reports:
// - POSIX: the socket's errno (ECONNREFUSED, ECONNRESET, ETIMEDOUT,
//   ENETDOWN, ECANCELED; EIO for a failure with no better name).
// - NetDB: the host name could not be looked up; the error is EAI_NONAME of
//   this system's <netdb.h>.
// - SSL: the secure connection could not be made (CFHTTPStream.h has the codes).
// - HTTP: the exchange itself failed (CFHTTPStream.h has the codes).
typedef CFIndex CFStreamErrorDomain;
enum : CFStreamErrorDomain {
    kCFStreamErrorDomainCustom = -1,
    kCFStreamErrorDomainPOSIX = 1,
    kCFStreamErrorDomainMacOSStatus = 2,
    kCFStreamErrorDomainSSL = 3,
    kCFStreamErrorDomainHTTP = 4,
    kCFStreamErrorDomainNetDB = 12,
};

typedef struct {
    CFIndex domain;
    SInt32 error;
} CFStreamError;

typedef struct {
    CFIndex version;  // 0
    void* info;
    void* (*retain)(void* info);
    void (*release)(void* info);
    CFStringRef (*copyDescription)(void* info);
} CFStreamClientContext;

typedef void (*CFReadStreamClientCallBack)(CFReadStreamRef stream, CFStreamEventType type, void* clientCallBackInfo);

CFTypeID CFReadStreamGetTypeID();

CFStreamStatus CFReadStreamGetStatus(CFReadStreamRef stream);
// {0, 0} unless the status is kCFStreamStatusError.
CFStreamError CFReadStreamGetError(CFReadStreamRef stream);

// Sets the client that hears of the events in `streamEvents`; a nil
// callback or no events removes it. The context is copied, and its retain
// (when given) is called on the info; the release is called when the client
// is replaced or removed, or the stream is freed. True for a stream.
Boolean CFReadStreamSetClient(CFReadStreamRef stream, CFOptionFlags streamEvents, CFReadStreamClientCallBack clientCB,
                              CFStreamClientContext* clientContext);
void CFReadStreamScheduleWithRunLoop(CFReadStreamRef stream, CFRunLoopRef runLoop, CFStringRef runLoopMode);
void CFReadStreamUnscheduleFromRunLoop(CFReadStreamRef stream, CFRunLoopRef runLoop, CFStringRef runLoopMode);

// Starts the stream. False, with the status kCFStreamStatusError and the
// reason in CFReadStreamGetError, when it cannot start; no event follows a
// failed open. Opening twice answers false and changes nothing.
Boolean CFReadStreamOpen(CFReadStreamRef stream);
// Reads at most `bufferLength` bytes: answers how many came, 0 at the end
// and -1 after an error or on a stream that is not open. With nothing
// waiting it blocks until bytes, the end or an error arrive (running the
// application's loop meanwhile; no event of this stream is delivered while
// it waits).
CFIndex CFReadStreamRead(CFReadStreamRef stream, UInt8* buffer, CFIndex bufferLength);
// Whether a read would answer at once with bytes.
Boolean CFReadStreamHasBytesAvailable(CFReadStreamRef stream);
// Ends the transfer and drops what was not read. The stream can not be
// opened again.
void CFReadStreamClose(CFReadStreamRef stream);

// Properties (the keys are in CFHTTPStream.h). Setting answers whether the
// stream took the value; a value that shapes the request can only be set
// before the open. Copying answers a new reference or nil.
Boolean CFReadStreamSetProperty(CFReadStreamRef stream, CFStringRef propertyName, CFTypeRef propertyValue);
CFTypeRef CFReadStreamCopyProperty(CFReadStreamRef stream, CFStringRef propertyName);
