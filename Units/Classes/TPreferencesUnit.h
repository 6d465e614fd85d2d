// Preference handlers: typed values under short-string keys in one store.
//
//   TPreferenceHandlerApplication  an application's preferences (the platform
//                                  store of an application identifier)
//   TPreferenceHandlerFile         an in-memory dictionary saved to a
//                                  property-list file
//   TPreferenceHandlerDictionary   an in-memory dictionary only, which can
//                                  hand itself to a parent handler as one value
//
// Every handler puts its domain in front of every key: with the domain
// "user." a key "project-folder" is stored as "user.project-folder". Writes
// and removals count until Synchronize; a locked handler does not
// synchronise. Values of the wrong kind read like missing ones (false, 0,
// 0.0, an empty text, nil), except that integers also read strings.
#pragma once

#include "TArchiverUnit.h"
#include "TArrayUnit.h"
#include "TDictionaryUnit.h"
#include "TObjectUnit.h"

// Sees the bytes of data values: with order 1 on their way into the store,
// with order 2 on their way out. It is handed a private copy of `length`
// bytes, which it may rewrite in place.
typedef void (*PreferenceByteSwapperProc)(const ShortString& key, SInt16 order, void* data, size_t length);

inline constexpr SInt16 kPreferenceBytesIn = 1;
inline constexpr SInt16 kPreferenceBytesOut = 2;

// The domain the application gives its handler: empty until the
// application sets it ("user.") before creating the handler.
extern ShortString ApplicationPreferencesDomain;

class TPreferenceHandler : public TObject {
    BRINDLET_CLASS(TPreferenceHandler, TObject)

public:
    // A handler that stores nothing; the variants below are the useful ones.
    static TPreferenceHandler* Create() { return CreateInstance<TPreferenceHandler>(); }

    void Deallocate() override;

    // The prefix of every key (at most 63 bytes; a longer one is cut).
    virtual void SetDomain(const ShortString63& domain);
    virtual void SetByteSwapperCallback(PreferenceByteSwapperProc callback);
    // Retains the new identifier and releases the old; nil stands for the
    // current application.
    virtual void SetApplicationID(CFStringRef applicationID);
    virtual void SetLocked(bool locked);
    // The identifier, or kCFPreferencesCurrentApplication when none is set.
    virtual CFStringRef GetApplicationID() const;
    virtual bool IsLocked() const;
    // The handler's own store, not retained; nil when it has none to show.
    virtual CFTypeRef CFType() const;
    // The application's handler answers an archiver over the dictionary
    // under the key (the caller releases it); nil when absent or not a
    // dictionary, and always nil from the other handlers.
    using TObject::CopyArchive;
    virtual TArchiver* CopyArchive(const ShortString& key);
    // The object rebuilt from that archive by the class registry; the caller
    // owns it. Nil when there is no archive or its class is unknown.
    virtual TObject* AllocateFromArchive(const ShortString& key, void* params);
    virtual void Synchronize();
    virtual bool ContainsValue(const ShortString& key);
    virtual void RemoveValue(const ShortString& key);
    // Calls the byte-swapper callback, when one is set, on `length` bytes.
    virtual void SwapBytes(const ShortString& key, SInt16 order, void* data, size_t length);
    // Walks the value (through nested dictionaries and arrays) and hands a
    // copy of the bytes of every data value met to SwapBytes. The copies
    // are not stored anywhere.
    virtual void SwapTypeBytes(const ShortString& key, CFTypeRef value, SInt16 order);

    // Writing. Each write counts as one change.
    // Appends the value to the array under the key (a new array when there
    // is none, or when the key holds something else) unless an equal value
    // is already there; nil changes nothing.
    virtual void SetArrayValue(const ShortString& key, CFTypeRef value);
    // Any property-list value, stored as it is; nil stores nothing, and a
    // value that is not a property list (which could never be saved, and
    // would keep every other value from being saved) is refused with a
    // warning. Neither counts as a change.
    virtual void SetTypeValue(const ShortString& key, CFTypeRef value);
    virtual void SetBooleanValue(const ShortString& key, bool value);
    virtual void SetStringValue(const ShortString& key, const ShortString& value);
    // A number of the signed 32-bit kind.
    virtual void SetIntegerValue(const ShortString& key, SInt32 value);
    // A number of the 32-bit float kind.
    virtual void SetFloatValue(const ShortString& key, Float32 value);
    // Data of the bytes, after the byte swapper (order 1) has seen a copy;
    // the caller's bytes are left as they are.
    virtual void SetDataValue(const ShortString& key, const void* data, UInt32 length);

    // Reading.
    // The element at the index of the array under the key, borrowed (valid
    // at least until the next autorelease drain); nil when the key is
    // absent, holds no array, or the index is outside it.
    virtual CFTypeRef GetArrayValue(const ShortString& key, SInt32 index);
    // The value with a reference for the caller, who releases it; nil when absent.
    virtual CFTypeRef GetTypeValue(const ShortString& key);
    // False when absent or the platform false; true for any other value.
    virtual bool GetBooleanValue(const ShortString& key);
    // The text of a string; empty for anything else.
    virtual ShortString GetStringValue(const ShortString& key);
    // A number as a signed 32-bit integer, a string as the integer it
    // starts with; 0 for anything else.
    virtual SInt32 GetIntegerValue(const ShortString& key);
    // A number as a single-precision value; 0.0 for anything else.
    virtual Float32 GetFloatValue(const ShortString& key);
    // Stores true when the value reads false, and false otherwise.
    virtual void ToggleBooleanValue(const ShortString& key);
    // Copies the stored bytes into `dest` after the byte swapper (order 2)
    // has seen them, only when the value is data of exactly `size` bytes;
    // true when copied. A value of another size leaves `dest` alone.
    virtual bool CopyDataValue(const ShortString& key, void* dest, size_t size);
    template <typename T>
    bool CopyDataValue(const ShortString& key, T* dest)
    {
        return CopyDataValue(key, dest, sizeof(T));
    }
    // New objects the caller releases: a list of the array under the key, a
    // table over a mutable copy of the dictionary under it; nil when absent
    // or of another kind.
    virtual TTypeArray* CopyArray(const ShortString& key);
    virtual TTypeDictionary* CopyDictionary(const ShortString& key);

    // Writes and removals since the last synchronisation.
    SInt16 GetChangeCount() const { return changeCount_; }
    const ShortString63& GetDomain() const { return domain_; }

protected:
    TPreferenceHandler() = default;

    // The stored key of a key: the constant string of domain + key.
    CFStringRef StoredKey(const ShortString& key) const;
    void CountChange();
    // After a synchronisation that went through: nothing is pending.
    void ResetChangeCount() { changeCount_ = 0; }
    // What the variants provide; the typed operations are built on them.
    // The value under the key, retained for the caller; nil when absent (and
    // always in TPreferenceHandler, which stores nothing).
    virtual CFTypeRef CopyStoredValue(const ShortString& key);
    // Stores a property-list value under the key, or removes the key for
    // nil, and counts the change. Nothing in TPreferenceHandler.
    virtual void StoreValue(const ShortString& key, CFTypeRef value);
    // Whether `value` may be stored (a property list); warns when not.
    static bool IsStorable(const ShortString& key, CFTypeRef value);

private:
    ShortString63 domain_;
    SInt16 changeCount_ = 0;
    PreferenceByteSwapperProc byteSwapper_ = nullptr;
    bool locked_ = false;
    CFStringRef applicationID_ = nullptr;
};

// One steady reading of the application preferences on this thread: while
// an instance lives, an application handler reads each key of its domain
// once and answers the same value after, so a card drawn row by row asks
// the store once, not once a row. What this thread stores through a handler
// is seen at once; what other threads or processes change is seen when the
// outermost instance has ended. Instances nest; keep them to one piece of
// work (a drawing), never across a turn of the event loop.
class TPreferenceReading {
public:
    TPreferenceReading();
    ~TPreferenceReading();
    TPreferenceReading(const TPreferenceReading&) = delete;
    TPreferenceReading& operator=(const TPreferenceReading&) = delete;
};

// The preferences domain of an application identifier.
class TPreferenceHandlerApplication : public TPreferenceHandler {
    BRINDLET_CLASS(TPreferenceHandlerApplication, TPreferenceHandler)

public:
    static TPreferenceHandlerApplication* Create() { return CreateInstance<TPreferenceHandlerApplication>(); }

    using TPreferenceHandler::CopyArchive;
    TArchiver* CopyArchive(const ShortString& key) override;
    TObject* AllocateFromArchive(const ShortString& key, void* params) override;
    // When not locked and something changed: writes the domain's pending
    // changes to disk. The change count is kept when that fails, so the next
    // Synchronize tries again.
    void Synchronize() override;
    void Deallocate() override;

protected:
    TPreferenceHandlerApplication() = default;
    CFTypeRef CopyStoredValue(const ShortString& key) override;
    void StoreValue(const ShortString& key, CFTypeRef value) override;
};

// Values in an in-memory dictionary, saved as a property list to the
// handler's file on Synchronize.
class TPreferenceHandlerFile : public TPreferenceHandler {
    BRINDLET_CLASS(TPreferenceHandlerFile, TPreferenceHandler)

public:
    static TPreferenceHandlerFile* Create() { return CreateInstance<TPreferenceHandlerFile>(); }

    void Initialize() override;
    void Deallocate() override;
    // Prints the dictionary.
    void Show() override;

    // The file Synchronize writes (atomically). The handler does not read it.
    void SetFile(const FSRef& file) { file_ = file; }
    const FSRef& GetFile() const { return file_; }

    // The dictionary.
    CFTypeRef CFType() const override;
    // When not locked, something changed and there is a dictionary: saves
    // it. The change count is kept when the file cannot be written.
    void Synchronize() override;
    bool ContainsValue(const ShortString& key) override;

protected:
    TPreferenceHandlerFile() = default;
    CFTypeRef CopyStoredValue(const ShortString& key) override;
    void StoreValue(const ShortString& key, CFTypeRef value) override;
    CFMutableDictionaryRef Store() const { return store_; }

private:
    friend class TPreferenceHandlerDictionary;

    CFMutableDictionaryRef store_ = nullptr;
    FSRef file_{};
};

// Values in an in-memory dictionary only. With a parent, Synchronize hands
// the whole dictionary to the parent as one value under the parent key and
// synchronises the parent.
class TPreferenceHandlerDictionary : public TPreferenceHandlerFile {
    BRINDLET_CLASS(TPreferenceHandlerDictionary, TPreferenceHandlerFile)

public:
    // The store is a mutable copy of `values`, or empty when `values` is nil
    // or not a dictionary.
    static TPreferenceHandlerDictionary* Create(CFDictionaryRef values = nullptr);

    // The parent is not retained: it must outlive this handler (or be
    // replaced first). Nil clears it. A parent that leads back to this
    // handler is refused with a warning.
    void SetParent(TPreferenceHandler* parent, const ShortString& key);
    TPreferenceHandler* GetParent() const { return parent_; }
    const ShortString& GetParentKey() const { return parentKey_; }

    void Synchronize() override;

protected:
    TPreferenceHandlerDictionary() = default;

private:
    ShortString parentKey_;
    TPreferenceHandler* parent_ = nullptr;
};
