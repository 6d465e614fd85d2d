// HTTP messages: a request to hand to an HTTP stream (method, URL, header
// fields, body), or a response as a stream received it (status, header
// fields). Header names compare without regard to case; a message keeps
// one value per name, the last one set.
//
// Nothing a caller puts in a request can change the shape of what is sent:
// a method that is not an HTTP token, and header names or values holding
// line breaks or other control characters, are refused.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFURL.h>

typedef struct CFHTTPMessageObject* CFHTTPMessageRef;

extern const CFStringRef kCFHTTPVersion1_0;
extern const CFStringRef kCFHTTPVersion1_1;

CFTypeID CFHTTPMessageGetTypeID();

// A request; nil when the method is not a token, the URL is nil or not
// absolute, or the version is neither of the two above. (Which schemes can
// be sent is the stream's business: CFHTTPStream.h.)
CFHTTPMessageRef CFHTTPMessageCreateRequest(CFAllocatorRef alloc, CFStringRef requestMethod, CFURLRef url,
                                            CFStringRef httpVersion);
// A response with the status code (100 to 599) and its reason phrase (nil:
// none); nil for a code out of range.
CFHTTPMessageRef CFHTTPMessageCreateResponse(CFAllocatorRef alloc, CFIndex statusCode, CFStringRef statusDescription,
                                             CFStringRef httpVersion);
// A new message with the same content.
CFHTTPMessageRef CFHTTPMessageCreateCopy(CFAllocatorRef alloc, CFHTTPMessageRef message);

Boolean CFHTTPMessageIsRequest(CFHTTPMessageRef message);
CFStringRef CFHTTPMessageCopyVersion(CFHTTPMessageRef message);
// Requests only; nil for a response.
CFStringRef CFHTTPMessageCopyRequestMethod(CFHTTPMessageRef request);
CFURLRef CFHTTPMessageCopyRequestURL(CFHTTPMessageRef request);
// Responses only; 0 and nil for a request. The status line reads
// "HTTP/1.1 404 Not Found".
CFIndex CFHTTPMessageGetResponseStatusCode(CFHTTPMessageRef response);
CFStringRef CFHTTPMessageCopyResponseStatusLine(CFHTTPMessageRef response);

// A nil value removes the field. Refused names and values leave the
// message as it was.
void CFHTTPMessageSetHeaderFieldValue(CFHTTPMessageRef message, CFStringRef headerField, CFStringRef value);
CFStringRef CFHTTPMessageCopyHeaderFieldValue(CFHTTPMessageRef message, CFStringRef headerField);
// Names as they were set (or received) to values.
CFDictionaryRef CFHTTPMessageCopyAllHeaderFields(CFHTTPMessageRef message);

// The body goes out with the request (its length is sent for it; a
// Content-Length field of the caller's own is not).
void CFHTTPMessageSetBody(CFHTTPMessageRef message, CFDataRef bodyData);
// Nil when the message has no body.
CFDataRef CFHTTPMessageCopyBody(CFHTTPMessageRef message);
