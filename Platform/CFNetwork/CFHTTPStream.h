// HTTP read streams: a stream that sends one request and reads the body of
// the response (CFReadStream.h has what every read stream does).
//
// A response is not a failure because of its status: the body of a 404 or
// a 500 is read like any other, then the end. A failure is a request that
// got no complete response: no connection, no such host, no secure
// connection, a response cut short, or a redirect that could not be
// followed.
//
// Streams run on the application's thread, through its QCoreApplication's
// event loop: they open only there, and their events come while they are
// scheduled on that thread's run loop (in any mode). Proxies are the
// system's, except that loopback hosts are always reached directly.
#pragma once

#include <CFNetwork/CFHTTPMessage.h>
#include <CFNetwork/CFReadStream.h>

// Whether redirects are followed (a CFBoolean; false until set). A redirect
// from https to http is never followed; a followed redirect is not seen by
// the client, which reads the body of the final response.
extern const CFStringRef kCFStreamPropertyHTTPShouldAutoredirect;
// Read only: the response's status and header fields (a CFHTTPMessageRef),
// once they have arrived.
extern const CFStringRef kCFStreamPropertyHTTPResponseHeader;
// Read only: the URL the response came from, after redirects (a CFURLRef).
extern const CFStringRef kCFStreamPropertyHTTPFinalURL;

// Errors in kCFStreamErrorDomainHTTP.
enum : SInt32 {
    kCFStreamErrorHTTPParseFailure = -1,     // what came back was not HTTP
    kCFStreamErrorHTTPRedirectionLoop = -2,  // too many redirects
    kCFStreamErrorHTTPBadURL = -3,           // not an http or https URL; a redirect to one, or from https to http
};

// Errors in kCFStreamErrorDomainSSL.
enum : SInt32 {
    errSSLProtocol = -9800,           // the handshake failed
    errSSLXCertChainInvalid = -9807,  // the server's certificate was not trusted
};

// A stream that sends `request` (copied: later changes to the message do
// not reach it). Nil for a message that is not a request.
CFReadStreamRef CFReadStreamCreateForHTTPRequest(CFAllocatorRef alloc, CFHTTPMessageRef request);
