// The system's mutable text object: one mutable platform string, with
// constructors that fill numbered placeholders ("^1", "^2", ...), load a
// text or RTF file, or copy a string; and operations to append lines,
// insert, find and replace, escape characters, split, save and copy out.
//
//   TString* text = TString::Create(CFSTR("^1 of ^2"), {CFSTR("3"), CFSTR("7")});
//   text->AppendLine("!");
//   OSStatus error;
//   if (!text->Save(CFSTR("/tmp/out.txt"), error)) ...
//   text->Release();
//
// Lengths and indices count UTF-16 code units, as the platform string does.
#pragma once

#include "TArrayUnit.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <initializer_list>
#include <vector>

class TString : public TObject {
    BRINDLET_CLASS(TString, TObject)

public:
    // An empty string.
    static TString* Create();
    // A mutable copy of `text` (nil gives an empty string).
    static TString* Create(CFStringRef text);
    // The format with every "^n" replaced by the n-th argument (from 1),
    // pass by pass for n = 1, 2, ... over the whole current text, so text an
    // argument brings in takes part in the later passes. A placeholder
    // numbered above the argument count stays as it is; a nil argument
    // counts as the empty string.
    static TString* Create(const ShortString& format, std::initializer_list<CFStringRef> arguments);
    static TString* Create(const ShortString& format, const std::vector<CFStringRef>& arguments);
    static TString* Create(CFStringRef format, std::initializer_list<CFStringRef> arguments);
    // The text of a file: RTF (by its extension) as its plain text,
    // anything else as UTF-8 or UTF-16 as detected, falling back to Mac
    // Roman. The object is made whatever happens: when the file cannot be
    // read its string is nil (or empty), `loaded` is false and, with
    // `showErrors`, the reason is shown in a modal alert. `error` is kept
    // for callers written for the older form; it is never written.
    static TString* Create(const FSRef& file, bool showErrors);
    static TString* Create(const FSRef& file, bool showErrors, bool& loaded, void* error = nullptr);

    void Initialize() override;
    void Deallocate() override;
    // A copy (TObject::Copy) has its own copy of the text and the line ending.
    void CopyInstanceVariables(TObject* source) override;

    // The string itself, not retained for the caller; nil after a failed load.
    CFStringRef CFType() const { return string_; }
    // UTF-16 code units; 0 when the string is nil.
    SInt32 GetLength() const;

    // Editing. On a string left nil by a failed load, editing starts a new
    // empty one first.
    void Append(CFStringRef text);
    void Append(const ShortString& text);
    // The text followed by the line ending (a line feed unless set).
    void AppendLine(const ShortString& text);
    // Inserts at the zero-based index (clamped to 0 ... length).
    void Insert(SInt32 index, CFStringRef text);
    void Insert(SInt32 index, const ShortString& text);
    // Every occurrence, front to back, case-sensitive.
    void FindAndReplace(CFStringRef find, CFStringRef replacement);
    // Puts a backslash before every `ch` that has none before it.
    void EscapeCharacters(UniChar ch);

    // The pieces between the separators, in order (empty pieces included),
    // in a new list the caller releases.
    TTypeArray* Explode(const ShortString& separator);

    // Writes the text to the POSIX path in UTF-8, atomically: the old file
    // stays whole until the new one is complete. `error` is cleared first
    // and set (a CFURLError, or paramErr for a nil string or path) on failure.
    bool Save(CFStringRef path, OSStatus& error);

    // A new mutable copy (an empty one when the string is nil); the caller
    // releases it.
    CFStringRef CopyString() const;
    // A new memory block of length × 2 bytes holding the UTF-16 code units,
    // without terminator; the caller disposes of it. (The name is the
    // system's own, although the contents are UTF-16.)
    Ptr CopyUTF8String() const;

    // The character at a zero-based index as one Mac Roman byte (0 when it
    // has none); an index equal to the length reads the last character.
    // GetCharacter goes through the read-ahead window when buffered reading
    // is on.
    UInt8 GetCharacter(SInt32 index);
    UInt8 GetCharacterDirect(SInt32 index) const;
    UInt8 GetCharacterFromInlineBuffer(SInt32 index);
    // With buffered reading on, notes the range on standard output and sets
    // the read-ahead window over it; otherwise nothing.
    void InitInlineBuffer(CFRange range);
    void SetBufferedReading(bool buffered) { bufferedReading_ = buffered; }
    bool BufferedReading() const { return bufferedReading_; }

    const ShortString& GetLineEnding() const { return lineEnding_; }
    void SetLineEnding(const ShortString& lineEnding) { lineEnding_ = lineEnding; }

protected:
    TString() = default;

private:
    static TString* CreateWithPlaceholders(CFStringRef format, const CFStringRef* arguments, size_t count);
    void Load(const FSRef& file, bool showErrors, bool& loaded);
    CFMutableStringRef MutableString();

    CFMutableStringRef string_ = nullptr;
    ShortString lineEnding_;
    CFStringInlineBuffer inlineBuffer_{};
    bool bufferedReading_ = false;
};

// Registers the class by name.
void InitializeTStringUnit();
