#include "TStringUnit.h"

#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/NSAlert.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringEncodingConverters.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Foundation/NSAttributedString.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

BRINDLET_DEFINE_CLASS(TString, TObject)

namespace {

CFStringRef CreateFromShortString(const ShortString& text)
{
    return CFStringCreateWithUTF8OrMacRoman(text.View());
}

std::string FileSystemPath(CFStringRef path)
{
    if (path == nullptr)
        return {};
    std::string buffer(static_cast<size_t>(CFStringGetMaximumSizeOfFileSystemRepresentation(path)), '\0');
    if (!CFStringGetFileSystemRepresentation(path, buffer.data(), static_cast<CFIndex>(buffer.size())))
        return {};
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

// The whole file, read the way every user file is: regular files only, and
// no larger than a note can be. 0 or an errno value.
int ReadWholeFile(const std::string& path, std::string& bytes)
{
    return FileAccess::ReadRegularFile(path, FileAccess::kNoteLimit, &bytes);
}

// The text of a file in the encoding its bytes show: UTF-16 when they begin
// with its byte-order mark, otherwise UTF-8 (with or without a mark). Nil
// when they are neither.
CFStringRef CreateStringDetectingEncoding(const std::string& bytes)
{
    const auto* data = reinterpret_cast<const UInt8*>(bytes.data());
    const bool utf16 =
        bytes.size() >= 2 && ((data[0] == 0xFE && data[1] == 0xFF) || (data[0] == 0xFF && data[1] == 0xFE));
    std::u16string units;
    if (!CFDecodeBytes(data, bytes.size(), utf16 ? kCFStringEncodingUTF16 : kCFStringEncodingUTF8, true, units))
        return nullptr;
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                        static_cast<CFIndex>(units.size()));
}

// The encoding Cocoa numbers 30: Mac Roman, in which every byte is a character.
CFStringRef CreateStringAsMacRoman(const std::string& bytes)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                   static_cast<CFIndex>(bytes.size()), kCFStringEncodingMacRoman, false);
}

std::string ReasonOfErrno(int error)
{
    switch (error) {
    case ENOENT:
        return "There is no such file.";
    case EACCES:
    case EPERM:
        return "You don't have permission to read it.";
    case EISDIR:
        return "It is a folder, not a file.";
    case EINVAL:
        return "It is not a file that can be read.";
    case EFBIG:
        return "It is too large to open.";
    default:
        return std::string(std::strerror(error)) + ".";
    }
}

void ShowLoadError(const std::string& path, const std::string& reason)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string description =
        name.empty() ? "The file could not be opened." : "The file \u201C" + name + "\u201D could not be opened.";
    NSString* message = NSString::newWithUTF8String(description);
    NSString* informative = NSString::newWithUTF8String(reason);
    NSAlert::alertWithError(message, informative)->runModal();
    message->release();
    informative->release();
}

UInt8 MacRomanByte(UniChar character)
{
    UInt8 byte = 0;
    return CFUnicodeToMacRoman(character, &byte) ? byte : 0;
}

}  // namespace

// ---- making ----

TString* TString::Create()
{
    return Create(static_cast<CFStringRef>(nullptr));
}

TString* TString::Create(CFStringRef text)
{
    TString* string = AllocateInstance<TString>();
    string->string_ = CFStringCreateMutableCopy(nullptr, 0, text ? text : CFSTR(""));
    string->Initialize();
    return string;
}

TString* TString::Create(const ShortString& format, std::initializer_list<CFStringRef> arguments)
{
    CFRef<CFStringRef> text(CreateFromShortString(format));
    return CreateWithPlaceholders(text, arguments.begin(), arguments.size());
}

TString* TString::Create(const ShortString& format, const std::vector<CFStringRef>& arguments)
{
    CFRef<CFStringRef> text(CreateFromShortString(format));
    return CreateWithPlaceholders(text, arguments.data(), arguments.size());
}

TString* TString::Create(CFStringRef format, std::initializer_list<CFStringRef> arguments)
{
    return CreateWithPlaceholders(format, arguments.begin(), arguments.size());
}

TString* TString::CreateWithPlaceholders(CFStringRef format, const CFStringRef* arguments, size_t count)
{
    TString* string = AllocateInstance<TString>();
    // One filler for every text of the system: a placeholder is a caret and
    // its whole number, and what an argument brings in is not searched again
    // (a title that happens to hold "^2" stays as the user typed it).
    CFRef<CFStringRef> filled(CFStringCreateWithPlaceholders(
        format ? format : CFSTR(""), std::vector<CFStringRef>(arguments, arguments + count), CFSTR("")));
    string->string_ = CFStringCreateMutableCopy(nullptr, 0, filled.get());
    string->Initialize();
    return string;
}

TString* TString::Create(const FSRef& file, bool showErrors)
{
    bool loaded = false;
    return Create(file, showErrors, loaded);
}

TString* TString::Create(const FSRef& file, bool showErrors, bool& loaded, void*)
{
    TString* string = AllocateInstance<TString>();
    string->Load(file, showErrors, loaded);
    string->Initialize();
    return string;
}

void TString::Load(const FSRef& file, bool showErrors, bool& loaded)
{
    // The alert and the attributed string are autoreleased: they go with
    // this pool, whatever loop the caller runs.
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    loaded = false;
    CFRef<CFStringRef> path(FSCopyPath(file));
    const std::string posixPath = FileSystemPath(path);
    std::string bytes;
    const int readError = ReadWholeFile(posixPath, bytes);
    // A file that is no note at all is told of even when errors are not shown.
    if (!showErrors && (readError == EINVAL || readError == EFBIG))
        FileAccess::WarnNotRead("note", posixPath, readError, FileAccess::kNoteLimit);

    if (FSConformsToUTIdentifier(file, kUTTypeRTF)) {
        if (readError == 0) {
            CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                               static_cast<CFIndex>(bytes.size())));
            std::string().swap(bytes);  // the data holds them now
            if (NSAttributedString* text = NSAttributedString::attributedStringWithRTF(data)) {
                string_ = CFStringCreateMutableCopy(nullptr, 0, text->string());
                loaded = true;
            } else if (showErrors) {
                ShowLoadError(posixPath, "It is not an RTF document that can be read.");
            }
        } else if (showErrors) {
            ShowLoadError(posixPath, ReasonOfErrno(readError));
        }
    } else {
        CFRef<CFStringRef> text;
        if (readError == 0) {
            text.Reset(CreateStringDetectingEncoding(bytes));
            if (!text)
                text.Reset(CreateStringAsMacRoman(bytes));
        } else if (showErrors) {
            ShowLoadError(posixPath, ReasonOfErrno(readError));
        }
        if (text) {
            string_ = CFStringCreateMutableCopy(nullptr, 0, text);
            if (CFStringGetLength(string_) > 0) {
                InitInlineBuffer(CFRangeMake(0, CFStringGetLength(string_)));
                loaded = true;
            }
        }
    }
    pool->release();
}

void TString::Initialize()
{
    if (lineEnding_.IsEmpty())
        lineEnding_ = "\n";
    Inherited::Initialize();
}

void TString::Deallocate()
{
    CFReleaseSafe(string_);
    Inherited::Deallocate();
}

void TString::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    if (!MemberOfClass(source, TString::StaticClass()))
        return;
    const TString* original = static_cast<const TString*>(source);
    CFReleaseSafe(string_);
    if (original->string_)
        string_ = CFStringCreateMutableCopy(nullptr, 0, original->string_);
    lineEnding_ = original->lineEnding_;
    bufferedReading_ = original->bufferedReading_;
}

// ---- reading ----

SInt32 TString::GetLength() const
{
    return string_ ? static_cast<SInt32>(CFStringGetLength(string_)) : 0;
}

CFStringRef TString::CopyString() const
{
    return CFStringCreateMutableCopy(nullptr, 0, string_ ? static_cast<CFStringRef>(string_) : CFSTR(""));
}

Ptr TString::CopyUTF8String() const
{
    return CFStringCopyUnicodeString(string_);
}

UInt8 TString::GetCharacter(SInt32 index)
{
    return bufferedReading_ ? GetCharacterFromInlineBuffer(index) : GetCharacterDirect(index);
}

UInt8 TString::GetCharacterDirect(SInt32 index) const
{
    const SInt32 length = GetLength();
    if (length > 0 && index == length)
        index = length - 1;
    if (index < 0 || index >= length)
        return 0;
    return MacRomanByte(CFStringGetCharacterAtIndex(string_, index));
}

UInt8 TString::GetCharacterFromInlineBuffer(SInt32 index)
{
    const SInt32 length = GetLength();
    if (length > 0 && index == length)
        index = length - 1;
    CFStringInlineBuffer& window = inlineBuffer_;
    if (window.theString == string_ && string_ != nullptr) {
        // The window's indices are the string's own; an edit since it was
        // set up may have shortened the string under it.
        const CFIndex rangeStart = window.rangeToBuffer.location;
        const CFIndex rangeEnd = std::min<CFIndex>(rangeStart + window.rangeToBuffer.length, length);
        if (index >= window.bufferedRangeStart && index < window.bufferedRangeEnd)
            return MacRomanByte(window.buffer[index - window.bufferedRangeStart]);
        if (index >= rangeStart && index < rangeEnd) {
            const CFIndex start = std::max<CFIndex>(index - 4, rangeStart);
            const CFIndex end = std::min<CFIndex>(start + 64, rangeEnd);
            CFStringGetCharacters(string_, CFRangeMake(start, end - start), window.buffer);
            window.bufferedRangeStart = start;
            window.bufferedRangeEnd = end;
            return MacRomanByte(window.buffer[index - start]);
        }
    }
    Diagnostics::WriteLine("bad idx " + std::to_string(index));
    return 0;
}

void TString::InitInlineBuffer(CFRange range)
{
    if (!bufferedReading_)
        return;
    Diagnostics::WriteLine("\tbuffered " + std::to_string(range.length) + " characters.");
    const CFIndex length = GetLength();
    const CFIndex start = std::clamp<CFIndex>(range.location, 0, length);
    const CFIndex end = std::clamp<CFIndex>(range.location + std::max<CFIndex>(range.length, 0), start, length);
    inlineBuffer_ = CFStringInlineBuffer{};
    inlineBuffer_.theString = string_;
    inlineBuffer_.rangeToBuffer = CFRangeMake(start, end - start);
}

// ---- editing ----

CFMutableStringRef TString::MutableString()
{
    if (string_ == nullptr)
        string_ = CFStringCreateMutable(nullptr, 0);
    // Whatever the window holds may be about to change.
    inlineBuffer_.bufferedRangeStart = inlineBuffer_.bufferedRangeEnd = 0;
    return string_;
}

void TString::Append(CFStringRef text)
{
    if (text)
        CFStringAppend(MutableString(), text);
}

void TString::Append(const ShortString& text)
{
    CFRef<CFStringRef> converted(CreateFromShortString(text));
    Append(converted);
}

void TString::AppendLine(const ShortString& text)
{
    // Apart, not as one short string: a text of 255 bytes would otherwise
    // lose its line ending.
    Append(text);
    Append(lineEnding_);
}

void TString::Insert(SInt32 index, CFStringRef text)
{
    if (text == nullptr)
        return;
    CFMutableStringRef string = MutableString();
    CFStringInsert(string, std::clamp<CFIndex>(index, 0, CFStringGetLength(string)), text);
}

void TString::Insert(SInt32 index, const ShortString& text)
{
    CFRef<CFStringRef> converted(CreateFromShortString(text));
    Insert(index, converted);
}

void TString::FindAndReplace(CFStringRef find, CFStringRef replacement)
{
    if (string_ == nullptr || find == nullptr || CFStringGetLength(find) == 0)
        return;
    CFMutableStringRef string = MutableString();
    CFStringFindAndReplace(string, find, replacement ? replacement : CFSTR(""),
                           CFRangeMake(0, CFStringGetLength(string)), 0);
}

void TString::EscapeCharacters(UniChar ch)
{
    if (string_ == nullptr)
        return;
    CFMutableStringRef string = MutableString();
    const CFIndex length = CFStringGetLength(string);
    std::u16string text(static_cast<size_t>(length), u'\0');
    CFStringGetCharacters(string, CFRangeMake(0, length), reinterpret_cast<UniChar*>(text.data()));
    // One pass into a new text: inserting in place moved the whole tail at
    // every insertion. Only the text's own characters are looked at, never
    // one past the end (which once put a stray backslash after a text that
    // ends with `ch`).
    std::u16string escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ch && (i == 0 || text[i - 1] != u'\\'))
            escaped.push_back(u'\\');
        escaped.push_back(text[i]);
    }
    if (escaped.size() == text.size())
        return;
    CFRef<CFStringRef> replacement(CFStringCreateWithCharacters(
        nullptr, reinterpret_cast<const UniChar*>(escaped.data()), static_cast<CFIndex>(escaped.size())));
    CFStringReplaceAll(string, replacement);
}

TTypeArray* TString::Explode(const ShortString& separator)
{
    TTypeArray* pieces = TTypeArray::Create();
    if (string_ == nullptr)
        return pieces;
    const CFIndex length = CFStringGetLength(string_);
    CFRef<CFStringRef> separatorString(CreateFromShortString(separator));
    CFIndex start = 0;
    CFRange found;
    while (CFStringGetLength(separatorString) > 0 &&
           CFStringFindWithOptions(string_, separatorString, CFRangeMake(start, length - start), 0, &found)) {
        CFRef<CFStringRef> piece(
            CFStringCreateWithSubstring(nullptr, string_, CFRangeMake(start, found.location - start)));
        pieces->AppendValue(piece.get());
        start = found.location + found.length;
    }
    CFRef<CFStringRef> last(CFStringCreateWithSubstring(nullptr, string_, CFRangeMake(start, length - start)));
    pieces->AppendValue(last.get());
    return pieces;
}

// ---- writing ----

bool TString::Save(CFStringRef path, OSStatus& error)
{
    error = noErr;
    // Nothing was loaded: writing would replace a file with nothing.
    if (string_ == nullptr || path == nullptr || CFStringGetLength(path) == 0) {
        error = paramErr;
        return false;
    }
    const std::string utf8 = CFStringToUTF8(string_);
    CFRef<CFDataRef> data(
        CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(utf8.data()), static_cast<CFIndex>(utf8.size())));
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));
    SInt32 status = kCFURLImproperArgumentsError;
    if (!url || !CFURLWriteDataAndPropertiesToResource(url, data, nullptr, &status)) {
        error = status != 0 ? status : ioErr;
        return false;
    }
    return true;
}

void InitializeTStringUnit()
{
    RegisterClass(TString::StaticClass());
}
