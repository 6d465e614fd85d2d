// The keyed archive in which every object tree of the system is stored:
// sheets, single cards, preferences that hold objects and sheet thumbnails.
// An archive is one mutable dictionary; objects write their keys into it,
// children become nested dictionaries in the ordered list under
// "system.objects", and the whole is written to a file as an XML property
// list and read back.
//
// Files are outside data: a value of the wrong kind reads as absent (the
// typed default, or nil), so a damaged or hand-edited sheet never crashes
// its reader.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>

// The answer of Load when the file cannot be read as an archive.
inline constexpr SInt32 kArchiverFileError = fnfErr;

class TArchiver {
public:
    // An empty archive, with no file.
    static TArchiver* Create();
    // An archive over a mutable copy of `dictionary` (nested dictionaries and
    // lists are shared, not copied); an empty archive for nil.
    static TArchiver* CreateWithDictionary(CFDictionaryRef dictionary);
    // An empty archive that remembers `file`; Load reads it.
    static TArchiver* CreateWithFile(const FSRef& file);

    // Frees the archiver at once (archivers are not reference counted).
    void Release();

    FSRef GetFile() const { return file_; }
    void SetContext(void* context) { context_ = context; }
    void* GetContext() const { return context_; }
    // The archive's dictionary, not retained for the caller.
    CFTypeRef CFType() const { return archive_; }
    // The number of keys.
    SInt32 Count() const;

    // Reads the remembered file: 0 on success; -43 when it cannot be read,
    // keeping the current contents, or when it is not an archive (not a
    // property list, or not a dictionary), leaving an empty archive.
    SInt32 Load();
    // Writes the archive to the file atomically: 0 on success, -43 when the
    // file cannot be named or the archive cannot be written as a property
    // list, otherwise the status of the write.
    SInt32 Save(const FSRef& file);
    SInt32 Save();

    // Children.
    void AppendArchive(TArchiver* child);
    void SetArchive(const ShortString& key, TArchiver* child);
    // A new archiver over a copy of the child at `index` of "system.objects",
    // with this archiver's context; nil when there is no such child
    // dictionary. The caller releases it.
    TArchiver* CopyArchive(SInt32 index) const;
    // The same for the dictionary under `key` (a path allowed, see GetValue).
    TArchiver* CopyArchive(const ShortString& key) const;
    // The number of child archives minus 1; -1 when there are none.
    SInt32 Limit() const;

    // Plain values. SetValue ignores nil and always uses the key as given.
    // GetValue resolves a key beginning with "/" as a path
    // ("/system.objects/0/title"); the value is borrowed.
    void SetValue(const ShortString& key, CFTypeRef value);
    CFTypeRef GetValue(const ShortString& key) const;
    CFTypeRef CopyValue(const ShortString& key) const;
    CFStringRef CopyStringValue(const ShortString& key) const;
    CFMutableStringRef CopyMutableStringValue(const ShortString& key) const;
    void Remove(const ShortString& key);
    bool ContainsKey(const ShortString& key) const;

    // Typed values; a missing key or a value of another kind reads as the
    // default (false, 0, 0.0, an empty text, nil).
    void SetBooleanValue(const ShortString& key, bool value);
    bool GetBooleanValue(const ShortString& key) const;
    void SetIntegerValue(const ShortString& key, SInt32 value);
    SInt32 GetIntegerValue(const ShortString& key) const;
    void SetFloatValue(const ShortString& key, Float32 value);
    Float32 GetFloatValue(const ShortString& key) const;
    void SetStringValue(const ShortString& key, const ShortString& text);
    ShortString GetStringValue(const ShortString& key) const;
    void SetDataValue(const ShortString& key, UInt32 size, const void* bytes);
    // Copies the stored bytes only when there are exactly `size` of them.
    bool GetDataValue(const ShortString& key, void* dest, size_t size) const;
    template <typename T>
    bool GetDataValue(const ShortString& key, T* dest) const
    {
        return GetDataValue(key, dest, sizeof(T));
    }
    void SetImageValue(const ShortString& key, CGImageRef image);
    // The first image of the stored data; nil when absent or not an image.
    CGImageRef CopyImageValue(const ShortString& key) const;
    void SetPointValue(const ShortString& key, CGPoint point);
    CGPoint GetPointValue(const ShortString& key) const;
    void SetSizeValue(const ShortString& key, CGSize size);
    CGSize GetSizeValue(const ShortString& key) const;
    void SetRectValue(const ShortString& key, CGRect rect);
    CGRect GetRectValue(const ShortString& key) const;
    void SetRangeValue(const ShortString& key, CFRange range);
    CFRange GetRangeValue(const ShortString& key) const;

private:
    explicit TArchiver(CFMutableDictionaryRef archive);
    ~TArchiver();
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;

    CFTypeRef GetNestedValue(const ShortString& path) const;
    // The list under "system.objects" in a form this archiver may edit.
    CFMutableArrayRef EditableChildList();

    CFMutableDictionaryRef archive_;
    // The child list this archiver made itself, so it is known to be mutable;
    // held, since it is recognised by its address.
    CFMutableArrayRef editableChildList_ = nullptr;
    void* context_ = nullptr;
    FSRef file_{};
};
