#include "CFNetworkInternal.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <algorithm>
#include <cstring>

namespace {

CFTypeID MessageTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFHTTPMessage");
    return type;
}

CFHTTPMessageObject* AsMessage(CFHTTPMessageRef message)
{
    return const_cast<CFHTTPMessageObject*>(CFHTTPMessageObjectOf(message));
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// A field value may hold tabs but no other control character: a line break
// would start a field (or a body) of the caller's making.
bool IsFieldValue(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && u != '\t') || u == 0x7f;
    });
}

bool IsSupportedVersion(CFStringRef version)
{
    const std::string text = CFStringToUTF8(version);
    return text == "HTTP/1.0" || text == "HTTP/1.1";
}

}  // namespace

const CFStringRef kCFHTTPVersion1_0 = CFSTR("HTTP/1.0");
const CFStringRef kCFHTTPVersion1_1 = CFSTR("HTTP/1.1");

CFHTTPMessageObject::CFHTTPMessageObject() : CFRuntimeObject(MessageTypeID()) {}

CFHTTPMessageObject::~CFHTTPMessageObject()
{
    CFRelease(url);
}

CFStringRef CFHTTPMessageObject::CopyDescription() const
{
    std::string text = CFRuntimeDescriptionPrefix(this) + "{";
    if (isRequest)
        text += method + " " + CFStringToUTF8(CFURLGetString(url)) + " " + version;
    else
        text += version + " " + std::to_string(statusCode) + " " + reasonPhrase;
    return CFStringCreateWithUTF8OrMacRoman(text + "}");
}

const std::pair<std::string, std::string>* CFHTTPMessageObject::FindHeader(std::string_view name) const
{
    for (const auto& header : headers)
        if (EqualIgnoringCase(header.first, name))
            return &header;
    return nullptr;
}

bool CFHTTPMessageObject::SetHeader(std::string_view name, const std::string* value)
{
    if (!CFHTTPIsToken(name) || (value && !IsFieldValue(*value)))
        return false;
    auto existing = std::find_if(headers.begin(), headers.end(),
                                 [&](const auto& header) { return EqualIgnoringCase(header.first, name); });
    if (value == nullptr) {
        if (existing != headers.end())
            headers.erase(existing);
    } else if (existing != headers.end()) {
        existing->second = *value;
    } else {
        headers.emplace_back(std::string(name), *value);
    }
    return true;
}

const CFHTTPMessageObject* CFHTTPMessageObjectOf(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != MessageTypeID())
        return nullptr;
    return static_cast<const CFHTTPMessageObject*>(CFRuntimeObjectOf(cf));
}

bool CFHTTPIsToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
    });
}

CFTypeID CFHTTPMessageGetTypeID()
{
    return MessageTypeID();
}

CFHTTPMessageRef CFHTTPMessageCreateRequest(CFAllocatorRef, CFStringRef requestMethod, CFURLRef url,
                                            CFStringRef httpVersion)
{
    const std::string method = CFStringToUTF8(requestMethod);
    if (!CFHTTPIsToken(method) || !IsSupportedVersion(httpVersion))
        return nullptr;
    CFURLRef absolute = CFURLCopyAbsoluteURL(url);
    if (absolute == nullptr)
        return nullptr;
    CFStringRef scheme = CFURLCopyScheme(absolute);
    if (scheme == nullptr) {
        CFRelease(absolute);
        return nullptr;
    }
    CFRelease(scheme);
    auto* message = new CFHTTPMessageObject;
    message->method = method;
    message->url = absolute;
    message->version = CFStringToUTF8(httpVersion);
    return message;
}

CFHTTPMessageRef CFHTTPMessageCreateResponse(CFAllocatorRef, CFIndex statusCode, CFStringRef statusDescription,
                                             CFStringRef httpVersion)
{
    if (statusCode < 100 || statusCode > 599 || !IsSupportedVersion(httpVersion))
        return nullptr;
    const std::string reason = CFStringToUTF8(statusDescription);
    if (!IsFieldValue(reason))
        return nullptr;
    auto* message = new CFHTTPMessageObject;
    message->isRequest = false;
    message->statusCode = statusCode;
    message->reasonPhrase = reason;
    message->version = CFStringToUTF8(httpVersion);
    return message;
}

CFHTTPMessageRef CFHTTPMessageCreateCopy(CFAllocatorRef, CFHTTPMessageRef message)
{
    const CFHTTPMessageObject* source = CFHTTPMessageObjectOf(message);
    if (source == nullptr)
        return nullptr;
    auto* copy = new CFHTTPMessageObject;
    copy->isRequest = source->isRequest;
    copy->version = source->version;
    copy->method = source->method;
    copy->url = static_cast<CFURLRef>(CFRetain(source->url));
    copy->statusCode = source->statusCode;
    copy->reasonPhrase = source->reasonPhrase;
    copy->headers = source->headers;
    copy->hasBody = source->hasBody;
    copy->body = source->body;
    return copy;
}

Boolean CFHTTPMessageIsRequest(CFHTTPMessageRef message)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(message);
    return m != nullptr && m->isRequest;
}

CFStringRef CFHTTPMessageCopyVersion(CFHTTPMessageRef message)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(message);
    return m ? CFStringCreateWithUTF8(m->version) : nullptr;
}

CFStringRef CFHTTPMessageCopyRequestMethod(CFHTTPMessageRef request)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(request);
    return m && m->isRequest ? CFStringCreateWithUTF8(m->method) : nullptr;
}

CFURLRef CFHTTPMessageCopyRequestURL(CFHTTPMessageRef request)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(request);
    return m && m->isRequest ? static_cast<CFURLRef>(CFRetain(m->url)) : nullptr;
}

CFIndex CFHTTPMessageGetResponseStatusCode(CFHTTPMessageRef response)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(response);
    return m && !m->isRequest ? m->statusCode : 0;
}

CFStringRef CFHTTPMessageCopyResponseStatusLine(CFHTTPMessageRef response)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(response);
    if (m == nullptr || m->isRequest)
        return nullptr;
    std::string line = m->version + " " + std::to_string(m->statusCode);
    if (!m->reasonPhrase.empty())
        line += " " + m->reasonPhrase;
    return CFStringCreateWithUTF8OrMacRoman(line);
}

void CFHTTPMessageSetHeaderFieldValue(CFHTTPMessageRef message, CFStringRef headerField, CFStringRef value)
{
    CFHTTPMessageObject* m = AsMessage(message);
    if (m == nullptr || headerField == nullptr)
        return;
    const std::string text = CFStringToUTF8(value);
    m->SetHeader(CFStringToUTF8(headerField), value ? &text : nullptr);
}

CFStringRef CFHTTPMessageCopyHeaderFieldValue(CFHTTPMessageRef message, CFStringRef headerField)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(message);
    if (m == nullptr)
        return nullptr;
    const auto* header = m->FindHeader(CFStringToUTF8(headerField));
    return header ? CFStringCreateWithUTF8OrMacRoman(header->second) : nullptr;
}

CFDictionaryRef CFHTTPMessageCopyAllHeaderFields(CFHTTPMessageRef message)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(message);
    if (m == nullptr)
        return nullptr;
    CFMutableDictionaryRef fields =
        CFDictionaryCreateMutable(nullptr, static_cast<CFIndex>(m->headers.size()), &kCFTypeDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks);
    for (const auto& [name, value] : m->headers) {
        CFStringRef key = CFStringCreateWithUTF8OrMacRoman(name);
        CFStringRef text = CFStringCreateWithUTF8OrMacRoman(value);
        CFDictionarySetValue(fields, key, text);
        CFRelease(key);
        CFRelease(text);
    }
    return fields;
}

void CFHTTPMessageSetBody(CFHTTPMessageRef message, CFDataRef bodyData)
{
    CFHTTPMessageObject* m = AsMessage(message);
    if (m == nullptr)
        return;
    m->hasBody = bodyData != nullptr;
    m->body.clear();
    if (bodyData) {
        const UInt8* bytes = CFDataGetBytePtr(bodyData);
        m->body.assign(bytes, bytes + CFDataGetLength(bodyData));
    }
}

CFDataRef CFHTTPMessageCopyBody(CFHTTPMessageRef message)
{
    const CFHTTPMessageObject* m = CFHTTPMessageObjectOf(message);
    if (m == nullptr || !m->hasBody)
        return nullptr;
    return CFDataCreate(nullptr, m->body.data(), static_cast<CFIndex>(m->body.size()));
}
