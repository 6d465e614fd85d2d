// The objects behind the HTTP message and stream references, shared by the
// files of this folder.
#pragma once

#include <CFNetwork/CFHTTPStream.h>
#include <CoreFoundation/CFRuntime.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct CFHTTPMessageObject final : CFRuntimeObject {
    CFHTTPMessageObject();
    ~CFHTTPMessageObject() override;
    CFStringRef CopyDescription() const override;

    // The field of that name (any case), or nil.
    const std::pair<std::string, std::string>* FindHeader(std::string_view name) const;
    // Sets (or with nil removes) a field; false when the name or the value
    // is refused.
    bool SetHeader(std::string_view name, const std::string* value);

    bool isRequest = true;
    std::string version;  // "HTTP/1.1"
    // Requests.
    std::string method;
    CFURLRef url = nullptr;  // absolute, owned
    // Responses.
    CFIndex statusCode = 0;
    std::string reasonPhrase;
    // Name as set or received, value; UTF-8.
    std::vector<std::pair<std::string, std::string>> headers;
    bool hasBody = false;
    std::vector<UInt8> body;
};

const CFHTTPMessageObject* CFHTTPMessageObjectOf(CFTypeRef cf);

// Whether `text` is an HTTP token (a method or a header name).
bool CFHTTPIsToken(std::string_view text);
