// One HTTP request, sent without blocking: the response is reported to the
// delegate as it arrives, by name:
//   "THTTP.Data"      each chunk of the body as text (a CFStringRef valid
//                     during the call only; nil when the chunk is not valid
//                     UTF-8 by itself, as when a character is split
//                     between two reads),
//   "THTTP.Error"     a CFStreamError* (domain, then error),
//   "THTTP.Complete"  no parameter.
// The request object frees itself once the response is complete or the
// request failed, so the caller does not release it:
//
//   THTTP* request = THTTP::Create(url, "GET");
//   request->SetDelegate(window);
//   request->SendRequest();
//
// Redirects are followed without the delegate hearing of them. A response
// is complete whatever its status: a 404 page arrives like any other body.
#pragma once

#include "TObjectUnit.h"

#include <CFNetwork/CFNetwork.h>

#include <vector>

class THTTP : public TObject {
    BRINDLET_CLASS(THTTP, TObject)

public:
    // A request for `url` with the method ("GET", "POST", ...), not sent yet.
    static THTTP* Create(CFURLRef url, const ShortString& method);

    // Starts the request on the calling thread's run loop. When it cannot
    // start (no request could be made from the URL and method, or the
    // stream would not open) the delegate hears "THTTP.Error" with domain
    // 2 and error -1 at once, and the object is freed before this returns.
    // A second call does nothing.
    void SendRequest();

    // What the delegate hears; subclasses may take the events themselves.
    virtual void HandleData(CFStringRef text);
    virtual void HandleError(CFIndex domain, SInt32 error);
    virtual void HandleComplete();

    // Writes the collected text (see SetKeepText) to the save path: done at
    // the end of a response, before "THTTP.Complete". Nothing is written
    // when there is no save path. Answers noErr or why the file could not
    // be written.
    OSStatus Save();
    OSStatus Save(CFStringRef path);

    // The path Save writes to (copied; nil: none, the default).
    void SetSavePath(CFStringRef path);
    CFStringRef GetSavePath() const { return savePath_; }
    // Whether the body's text is collected for Save (off by default).
    // Characters split between chunks are collected whole, and bytes that
    // are not UTF-8 as U+FFFD, so the collected text holds the whole body.
    void SetKeepText(bool keep) { keepText_ = keep; }
    bool KeepsText() const { return keepText_; }

    // Every byte of the body so far, and the collected text; borrowed, nil
    // before the request was sent.
    CFDataRef GetResponseData() const { return responseData_; }
    CFStringRef GetResponseText() const { return responseText_; }

    void Deallocate() override;

protected:
    THTTP() = default;

private:
    static void StreamCallback(CFReadStreamRef stream, CFStreamEventType type, void* info);
    void ReadAvailableBytes();
    void KeepText(const UInt8* bytes, CFIndex length, bool final);

    CFMutableDataRef responseData_ = nullptr;
    CFMutableStringRef responseText_ = nullptr;
    CFStringRef savePath_ = nullptr;
    CFHTTPMessageRef request_ = nullptr;
    bool keepText_ = false;
    CFReadStreamRef stream_ = nullptr;
    // The start of a character that the last chunk cut off, for the
    // collected text.
    std::vector<UInt8> pendingText_;
};

// Registers the class by name.
void InitializeTHTTPUnit();
