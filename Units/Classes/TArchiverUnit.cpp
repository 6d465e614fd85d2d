#include "TArchiverUnit.h"

#include <Units/Utilities/CFPreferenceUtilities.h>
#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageDestination.h>
#include <CoreGraphics/CGImageSource.h>
#include <Support/Diagnostics.h>

#include <string>
#include <vector>

namespace {

CFStringRef ObjectsKey()
{
    return CFSTR("system.objects");
}

bool HasType(CFTypeRef value, CFTypeID type)
{
    return value != nullptr && CFGetTypeID(value) == type;
}

CFMutableDictionaryRef NewArchiveDictionary()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

// True for the empty text; otherwise when every character is a digit, "-" or ".".
bool StringIsNumber(std::string_view text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    return true;
}

}  // namespace

TArchiver::TArchiver(CFMutableDictionaryRef archive) : archive_(archive) {}

TArchiver::~TArchiver()
{
    if (editableChildList_)
        CFRelease(editableChildList_);
    CFRelease(archive_);
}

TArchiver* TArchiver::Create()
{
    return new TArchiver(NewArchiveDictionary());
}

TArchiver* TArchiver::CreateWithDictionary(CFDictionaryRef dictionary)
{
    if (!HasType(dictionary, CFDictionaryGetTypeID()))
        return Create();
    return new TArchiver(CFDictionaryCreateMutableCopy(nullptr, 0, dictionary));
}

TArchiver* TArchiver::CreateWithFile(const FSRef& file)
{
    TArchiver* archiver = Create();
    archiver->file_ = file;
    return archiver;
}

void TArchiver::Release()
{
    delete this;
}

SInt32 TArchiver::Count() const
{
    return static_cast<SInt32>(CFDictionaryGetCount(archive_));
}

SInt32 TArchiver::Load()
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &file_));
    if (!url)
        return kArchiverFileError;
    CFDataRef bytes = nullptr;
    SInt32 status = 0;
    if (!CFURLCreateDataAndPropertiesFromResource(nullptr, url, &bytes, nullptr, nullptr, &status) || !bytes)
        return kArchiverFileError;
    CFRef<CFDataRef> data(bytes);
    CFRef<CFTypeRef> root(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListMutableContainers, nullptr));
    CFRelease(archive_);
    editableChildList_ = nullptr;
    if (!HasType(root, CFDictionaryGetTypeID())) {
        // Not an archive: start empty, so the archive can still be filled and saved.
        archive_ = NewArchiveDictionary();
        return kArchiverFileError;
    }
    archive_ = static_cast<CFMutableDictionaryRef>(const_cast<void*>(root.release()));
    return 0;
}

SInt32 TArchiver::Save(const FSRef& file)
{
    CFRef<CFURLRef> url(CFURLCreateFileURLFromFSRef(file));
    if (!url) {
        Diagnostics::WriteLine("Warning: TArchiver.Save failed to find property list.");
        return kArchiverFileError;
    }
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, archive_));
    if (!xml)
        return kArchiverFileError;
    SInt32 status = 0;
    CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &status);
    return status;
}

SInt32 TArchiver::Save()
{
    return Save(file_);
}

// ---- children ----

CFMutableArrayRef TArchiver::EditableChildList()
{
    CFTypeRef existing = CFDictionaryGetValue(archive_, ObjectsKey());
    if (existing != nullptr && existing == editableChildList_)
        return editableChildList_;
    // A list read from a file or shared with another dictionary is replaced
    // once by a copy of our own; anything but a list is replaced by a new one.
    CFMutableArrayRef list = HasType(existing, CFArrayGetTypeID())
                                 ? CFArrayCreateMutableCopy(nullptr, 0, static_cast<CFArrayRef>(existing))
                                 : CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(archive_, ObjectsKey(), list);
    // Our reference keeps the list alive, so no other list can come to
    // stand at its address while we compare against it.
    if (editableChildList_)
        CFRelease(editableChildList_);
    editableChildList_ = list;
    return list;
}

void TArchiver::AppendArchive(TArchiver* child)
{
    if (child != nullptr)
        CFArrayAppendValue(EditableChildList(), child->archive_);
}

void TArchiver::SetArchive(const ShortString& key, TArchiver* child)
{
    if (child != nullptr)
        SetValue(key, child->archive_);
}

SInt32 TArchiver::Limit() const
{
    CFTypeRef list = CFDictionaryGetValue(archive_, ObjectsKey());
    if (!HasType(list, CFArrayGetTypeID()))
        return -1;
    return static_cast<SInt32>(CFArrayGetCount(static_cast<CFArrayRef>(list))) - 1;
}

TArchiver* TArchiver::CopyArchive(SInt32 index) const
{
    CFTypeRef list = CFDictionaryGetValue(archive_, ObjectsKey());
    if (!HasType(list, CFArrayGetTypeID()))
        return nullptr;
    CFTypeRef child = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(list), index);
    if (!HasType(child, CFDictionaryGetTypeID()))
        return nullptr;
    TArchiver* archiver = CreateWithDictionary(static_cast<CFDictionaryRef>(child));
    archiver->context_ = context_;
    return archiver;
}

TArchiver* TArchiver::CopyArchive(const ShortString& key) const
{
    CFTypeRef child = GetValue(key);
    if (!HasType(child, CFDictionaryGetTypeID()))
        return nullptr;
    TArchiver* archiver = CreateWithDictionary(static_cast<CFDictionaryRef>(child));
    archiver->context_ = context_;
    return archiver;
}

// ---- plain values ----

void TArchiver::SetValue(const ShortString& key, CFTypeRef value)
{
    if (value != nullptr)
        CFDictionarySetValue(archive_, CFSTR(key), value);
}

CFTypeRef TArchiver::GetValue(const ShortString& key) const
{
    if (!key.IsEmpty() && key.View().front() == '/')
        return GetNestedValue(key);
    return CFDictionaryGetValue(archive_, CFSTR(key));
}

CFTypeRef TArchiver::GetNestedValue(const ShortString& path) const
{
    std::vector<std::string_view> parts;
    std::string_view rest = path.View();
    for (;;) {
        const size_t slash = rest.find('/');
        parts.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    if (Count() == 0)
        return CFDictionaryGetValue(archive_, CFSTR(path));

    CFTypeRef container = archive_;
    CFTypeRef answer = nullptr;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const bool last = i + 1 == parts.size();
        CFTypeRef value = nullptr;
        if (HasType(container, CFArrayGetTypeID())) {
            if (!StringIsNumber(part))
                break;
            const CFIndex index = CFStringGetIntValue(CFSTR(part));
            value = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(container), index);
            if (value == nullptr)
                break;
        } else {
            // Parts that are not keys of the dictionary (the empty first
            // part among them) are passed over.
            value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(container), CFSTR(part));
            if (value == nullptr)
                continue;
        }
        if (last)
            answer = value;
        else if (HasType(value, CFDictionaryGetTypeID()) || HasType(value, CFArrayGetTypeID()))
            container = value;
        else
            return nullptr;  // the path goes on through a value that holds nothing
    }
    return answer;
}

CFTypeRef TArchiver::CopyValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    return value ? CFRetain(value) : nullptr;
}

CFStringRef TArchiver::CopyStringValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    if (!HasType(value, CFStringGetTypeID()))
        return nullptr;
    return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
}

CFMutableStringRef TArchiver::CopyMutableStringValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    if (!HasType(value, CFStringGetTypeID()))
        return nullptr;
    return CFStringCreateMutableCopy(nullptr, 0, static_cast<CFStringRef>(value));
}

void TArchiver::Remove(const ShortString& key)
{
    CFDictionaryRemoveValue(archive_, CFSTR(key));
}

bool TArchiver::ContainsKey(const ShortString& key) const
{
    return CFDictionaryContainsKey(archive_, CFSTR(key));
}

// ---- typed values ----

void TArchiver::SetBooleanValue(const ShortString& key, bool value)
{
    SetValue(key, value ? kCFBooleanTrue : kCFBooleanFalse);
}

bool TArchiver::GetBooleanValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    return value != nullptr && value != kCFBooleanFalse;
}

void TArchiver::SetIntegerValue(const ShortString& key, SInt32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    SetValue(key, number);
}

SInt32 TArchiver::GetIntegerValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    SInt32 result = 0;
    if (HasType(value, CFNumberGetTypeID()))
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &result);
    return result;
}

void TArchiver::SetFloatValue(const ShortString& key, Float32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat32Type, &value));
    SetValue(key, number);
}

Float32 TArchiver::GetFloatValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    Float32 result = 0;
    if (HasType(value, CFNumberGetTypeID()))
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat32Type, &result);
    return result;
}

void TArchiver::SetStringValue(const ShortString& key, const ShortString& text)
{
    // Values are ordinary strings; only keys are interned, so that the
    // texts of a long session do not stay in memory for ever.
    CFRef<CFStringRef> string(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.c_str()),
                                                      static_cast<CFIndex>(text.Length()), kCFStringEncodingUTF8,
                                                      false));
    SetValue(key, string ? string.get() : CFSTR(text));
}

ShortString TArchiver::GetStringValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    if (!HasType(value, CFStringGetTypeID()))
        return {};
    return CFStringToPascal(static_cast<CFStringRef>(value));
}

void TArchiver::SetDataValue(const ShortString& key, UInt32 size, const void* bytes)
{
    CFRef<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), size));
    SetValue(key, data);
}

bool TArchiver::GetDataValue(const ShortString& key, void* dest, size_t size) const
{
    return CFDataCopyExactly(GetValue(key), dest, size);
}

void TArchiver::SetImageValue(const ShortString& key, CGImageRef image)
{
    if (image == nullptr)
        return;
    CFRef<CFMutableDataRef> png(CFDataCreateMutable(nullptr, 0));
    CFRef<CGImageDestinationRef> destination(CGImageDestinationCreateWithData(png, CFSTR("public.png"), 1, nullptr));
    if (!destination)
        return;
    CGImageDestinationAddImage(destination, image, nullptr);
    if (CGImageDestinationFinalize(destination))
        SetValue(key, png);
}

CGImageRef TArchiver::CopyImageValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    if (!HasType(value, CFDataGetTypeID()))
        return nullptr;
    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithData(static_cast<CFDataRef>(value), nullptr));
    if (!source)
        return nullptr;
    return CGImageSourceCreateImageAtIndex(source, 0, nullptr);
}

void TArchiver::SetPointValue(const ShortString& key, CGPoint point)
{
    SetFloatValue(key + ".x", point.x);
    SetFloatValue(key + ".y", point.y);
}

CGPoint TArchiver::GetPointValue(const ShortString& key) const
{
    return CGPointMake(GetFloatValue(key + ".x"), GetFloatValue(key + ".y"));
}

void TArchiver::SetSizeValue(const ShortString& key, CGSize size)
{
    SetFloatValue(key + ".width", size.width);
    SetFloatValue(key + ".height", size.height);
}

CGSize TArchiver::GetSizeValue(const ShortString& key) const
{
    return CGSizeMake(GetFloatValue(key + ".width"), GetFloatValue(key + ".height"));
}

void TArchiver::SetRectValue(const ShortString& key, CGRect rect)
{
    SetPointValue(key + ".origin", rect.origin);
    SetSizeValue(key + ".size", rect.size);
}

CGRect TArchiver::GetRectValue(const ShortString& key) const
{
    return CGRect{GetPointValue(key + ".origin"), GetSizeValue(key + ".size")};
}

void TArchiver::SetRangeValue(const ShortString& key, CFRange range)
{
    SetIntegerValue(key + ".location", static_cast<SInt32>(range.location));
    SetIntegerValue(key + ".length", static_cast<SInt32>(range.length));
}

CFRange TArchiver::GetRangeValue(const ShortString& key) const
{
    return CFRangeMake(GetIntegerValue(key + ".location"), GetIntegerValue(key + ".length"));
}
