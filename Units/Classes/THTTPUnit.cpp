#include "THTTPUnit.h"

#include "TStringUnit.h"

#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <string>

BRINDLET_DEFINE_CLASS(THTTP, TObject)

namespace {

constexpr CFIndex kReadSize = 16384;
constexpr CFOptionFlags kStreamEvents = kCFStreamEventOpenCompleted | kCFStreamEventHasBytesAvailable |
                                        kCFStreamEventErrorOccurred | kCFStreamEventEndEncountered;
// What a request that could not start reports.
constexpr CFIndex kSetUpErrorDomain = 2;
constexpr SInt32 kSetUpError = -1;

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool IsContinuation(UInt8 byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes UTF-8 into UTF-16, each byte that does not belong to a valid
// character becoming U+FFFD. A character cut off at the end is left undecoded
// unless `final`; answers how many bytes were decoded.
size_t DecodeUTF8(const UInt8* bytes, size_t count, bool final, std::u16string& out)
{
    size_t i = 0;
    while (i < count) {
        const UInt8 lead = bytes[i];
        size_t length;
        char32_t minimum;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            minimum = 0x10000;
        } else {
            out.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        size_t continuations = 1;
        while (continuations < length && i + continuations < count && IsContinuation(bytes[i + continuations]))
            ++continuations;
        if (continuations < length && i + continuations == count && !final)
            break;  // the rest of the character comes with the next chunk
        char32_t c = lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < continuations; ++k)
            c = (c << 6) | (bytes[i + k] & 0x3F);
        if (continuations < length || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(kReplacementCharacter);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return i;
}

}  // namespace

THTTP* THTTP::Create(CFURLRef url, const ShortString& method)
{
    THTTP* http = AllocateInstance<THTTP>();
    http->request_ = CFHTTPMessageCreateRequest(nullptr, CFSTR(method), url, kCFHTTPVersion1_1);
    http->Initialize();
    return http;
}

void THTTP::SendRequest()
{
    // Sent already: the object's own reference belongs to that request.
    if (stream_ != nullptr)
        return;
    if (request_ != nullptr) {
        stream_ = CFReadStreamCreateForHTTPRequest(nullptr, request_);
        CFRelease(request_);
        request_ = nullptr;
    }
    bool started = false;
    if (stream_ != nullptr) {
        CFStreamClientContext context{0, this, nullptr, nullptr, nullptr};
        started = CFReadStreamSetProperty(stream_, kCFStreamPropertyHTTPShouldAutoredirect, kCFBooleanTrue) &&
                  CFReadStreamSetClient(stream_, kStreamEvents, &THTTP::StreamCallback, &context);
        if (started) {
            CFReadStreamScheduleWithRunLoop(stream_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
            started = CFReadStreamOpen(stream_);
        }
    }
    if (started) {
        responseData_ = CFDataCreateMutable(nullptr, 0);
        responseText_ = CFStringCreateMutable(nullptr, 0);
        return;
    }
    HandleError(kSetUpErrorDomain, kSetUpError);
    Release();
}

void THTTP::StreamCallback(CFReadStreamRef, CFStreamEventType type, void* info)
{
    THTTP* self = static_cast<THTTP*>(info);
    // The delegate may release the object while it is being told.
    self->Retain();
    switch (type) {
    case kCFStreamEventHasBytesAvailable:
        self->ReadAvailableBytes();
        break;
    case kCFStreamEventErrorOccurred: {
        const CFStreamError error = CFReadStreamGetError(self->stream_);
        self->HandleError(error.domain, error.error);
        // Nothing follows an error, and nobody else holds the request: it
        // goes now, as after the end.
        self->Release();
        break;
    }
    case kCFStreamEventEndEncountered:
        if (self->keepText_)
            self->KeepText(nullptr, 0, true);
        if (OSStatus error = self->Save(); error != noErr)
            Diagnostics::WriteLine("Warning: THTTP could not save the response to " + CFStringToUTF8(self->savePath_) +
                                   " (error " + std::to_string(error) + ").");
        self->HandleComplete();
        self->Release();
        break;
    default:
        break;
    }
    self->Release();
}

void THTTP::ReadAvailableBytes()
{
    std::vector<UInt8> block(kReadSize);
    const CFIndex count = CFReadStreamRead(stream_, block.data(), kReadSize);
    if (count <= 0)
        return;
    CFDataAppendBytes(responseData_, block.data(), count);
    CFStringRef text = CFStringCreateWithBytes(nullptr, block.data(), count, kCFStringEncodingUTF8, false);
    HandleData(text);
    if (keepText_)
        KeepText(block.data(), count, false);
    if (text != nullptr)
        CFRelease(text);
}

// Each chunk's own text is nil when a character is split between reads; the
// collected text carries the split character over instead of losing both
// chunks.
void THTTP::KeepText(const UInt8* bytes, CFIndex length, bool final)
{
    if (responseText_ == nullptr)
        return;
    pendingText_.insert(pendingText_.end(), bytes, bytes + length);
    std::u16string text;
    const size_t used = DecodeUTF8(pendingText_.data(), pendingText_.size(), final, text);
    pendingText_.erase(pendingText_.begin(), pendingText_.begin() + static_cast<std::ptrdiff_t>(used));
    CFStringAppendCharacters(responseText_, reinterpret_cast<const UniChar*>(text.data()),
                             static_cast<CFIndex>(text.size()));
}

void THTTP::HandleData(CFStringRef text)
{
    InvokeDelegate("THTTP.Data", const_cast<void*>(static_cast<const void*>(text)));
}

void THTTP::HandleError(CFIndex domain, SInt32 error)
{
    CFStreamError record{domain, error};
    InvokeDelegate("THTTP.Error", &record);
}

void THTTP::HandleComplete()
{
    InvokeDelegate("THTTP.Complete");
}

OSStatus THTTP::Save()
{
    if (savePath_ == nullptr)
        return noErr;
    return Save(savePath_);
}

OSStatus THTTP::Save(CFStringRef path)
{
    TString* text = TString::Create(static_cast<CFStringRef>(responseText_));
    OSStatus error = noErr;
    text->Save(path, error);
    text->Release();
    return error;
}

void THTTP::SetSavePath(CFStringRef path)
{
    CFStringRef copy = path != nullptr ? CFStringCreateCopy(nullptr, path) : nullptr;
    CFReleaseSafe(savePath_);
    savePath_ = copy;
}

void THTTP::Deallocate()
{
    if (stream_ != nullptr) {
        CFReadStreamSetClient(stream_, 0, nullptr, nullptr);
        CFReadStreamUnscheduleFromRunLoop(stream_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
        CFReadStreamClose(stream_);
        CFRelease(stream_);
        stream_ = nullptr;
    }
    CFReleaseSafe(request_);
    CFReleaseSafe(responseData_);
    CFReleaseSafe(responseText_);
    CFReleaseSafe(savePath_);
    pendingText_.clear();
    Inherited::Deallocate();
}

void InitializeTHTTPUnit()
{
    RegisterClass(THTTP::StaticClass());
}
