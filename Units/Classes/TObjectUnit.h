// The root of the system's own classes.
//
// Objects are reference counted (Retain, Release, and Autorelease, whose
// release happens on the next pass of the event loop). They are built in
// one step (a class's Create) or two (Allocate; then parameters or archive
// data; then RequestInitialization), always through static factories, so
// that Initialize runs on the whole object. Every class has a ClassInfo with
// its own name, which is what archives store and the class registry finds.
// Methods can be called by name: an object registers the methods others may
// call, and a class declares handlers for message names that every instance
// answers.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

class TObject;
class TArchiver;

// A method callable by name: a function that calls one member function of
// one class on an object, handing it the parameter. Comparable: one method
// always has the same code.
typedef void (*MethodCode)(TObject* self, void* param);

struct ClassInfo {
    const char* name;
    const ClassInfo* parent;
    // A new instance with a count of 1, not initialised.
    TObject* (*allocate)();
    // Handlers of message names that every instance of the class answers;
    // filled by the unit's initialisation, read-only afterwards.
    mutable std::unordered_map<std::string, MethodCode> messageHandlers;

    bool InheritsFrom(const ClassInfo& ancestor) const;
};

// A construction parameter handed to a class created by name: one pointer
// value, which the receiving class reads as the kind it expects.
struct ParameterType {
    enum class Kind { Pointer, Object, String };
    Kind kind = Kind::Pointer;
    const void* value = nullptr;

    static ParameterType Pointer(const void* p) { return {Kind::Pointer, p}; }
    static ParameterType Object(TObject* object) { return {Kind::Object, object}; }
    static ParameterType String(CFStringRef s) { return {Kind::String, s}; }
};
typedef std::vector<ParameterType> ParameterArray;

// Declares the class machinery inside a class body. The class's
// constructor stays protected: objects come from Allocate or Create.
#define BRINDLET_CLASS(Class, Parent)                                                                                  \
public:                                                                                                                \
    using Inherited = Parent;                                                                                          \
    static const ClassInfo& StaticClass();                                                                             \
    const ClassInfo& GetClass() const override                                                                         \
    {                                                                                                                  \
        return StaticClass();                                                                                          \
    }                                                                                                                  \
    static Class* Allocate()                                                                                           \
    {                                                                                                                  \
        return TObject::AllocateInstance<Class>();                                                                     \
    }                                                                                                                  \
                                                                                                                       \
protected:                                                                                                             \
    friend class TObject;                                                                                              \
                                                                                                                       \
private:

// Defines a class's ClassInfo, in its unit's source file.
#define BRINDLET_DEFINE_CLASS(Class, Parent)                                                                           \
    const ClassInfo& Class::StaticClass()                                                                              \
    {                                                                                                                  \
        static const ClassInfo info{                                                                                   \
            #Class, &Parent::StaticClass(), []() -> TObject* { return Class::Allocate(); }, {}};                       \
        return info;                                                                                                   \
    }

namespace ObjectDetail {

template <typename T>
struct MemberTraits;

template <typename R, typename C>
struct MemberTraits<R (C::*)()> {
    static constexpr int arity = 0;
};

template <typename R, typename C, typename P>
struct MemberTraits<R (C::*)(P)> {
    static constexpr int arity = 1;
    using Param = P;
};

template <typename P>
P ParamCast(void* param)
{
    static_assert(std::is_pointer_v<P>, "by-name methods take no parameter or one pointer");
    using Pointee = std::remove_cv_t<std::remove_pointer_t<P>>;
    // Platform values (CFStringRef and the like) point at types only their
    // family defines; they are never our objects.
    if constexpr (requires { sizeof(Pointee); }) {
        if constexpr (std::is_base_of_v<TObject, Pointee>)
            return static_cast<P>(static_cast<TObject*>(param));
    }
    return static_cast<P>(param);
}

template <typename C, auto Method>
void MethodThunk(TObject* self, void* param)
{
    using Traits = MemberTraits<decltype(Method)>;
    C* object = static_cast<C*>(self);
    if constexpr (Traits::arity == 0) {
        (void)param;
        (object->*Method)();
    } else {
        (object->*Method)(ParamCast<typename Traits::Param>(param));
    }
}

}  // namespace ObjectDetail

// The code of a method callable by name: BRINDLET_METHOD(TScreen, HandleSelectedTask).
#define BRINDLET_METHOD(Class, Method) (&ObjectDetail::MethodThunk<Class, &Class::Method>)

class TObject {
public:
    static const ClassInfo& StaticClass();
    virtual const ClassInfo& GetClass() const { return StaticClass(); }
    const char* ClassName() const { return GetClass().name; }

    static TObject* Allocate() { return AllocateInstance<TObject>(); }
    static TObject* Create() { return CreateInstance<TObject>(); }

    // Life cycle.
    void RequestInitialization();
    virtual void Initialize();
    virtual void InitializeParameter(SInt32 index, const ParameterType& param);
    TObject* Retain();
    virtual void Release();
    TObject* Autorelease();
    virtual void Deallocate();
    SInt32 GetRetainCount() const { return retainCount_.load(std::memory_order_relaxed); }
    bool IsInitialized() const { return initialized_; }

    // Properties, kept under the constant platform string of their name.
    void SetTypeProperty(const ShortString& name, CFTypeRef value);
    void SetDataProperty(const ShortString& name, UInt32 size, const void* bytes);
    CFTypeRef GetTypeProperty(const ShortString& name) const;
    // Copies the stored bytes only when there are exactly `size` of them.
    bool GetDataProperty(const ShortString& name, void* dest, size_t size) const;
    template <typename T>
    bool GetDataProperty(const ShortString& name, T* dest) const
    {
        return GetDataProperty(name, dest, sizeof(T));
    }
    // Integer properties, in a table of their own: -1 when the object has
    // none of that name.
    void SetIntegerProperty(const ShortString& name, SInt32 value);
    SInt32 GetIntegerProperty(const ShortString& name) const;

    // Calling by name.
    void RegisterMethod(const ShortString& name, MethodCode code);
    MethodCode FindMethod(const ShortString& name) const;
    void InvokeMethod(MethodCode code, void* param = nullptr);
    void InvokeMethod(const ShortString& name, void* param = nullptr);
    void SetWarnMissingMethods(bool warn) { warnMissingMethods_ = warn; }
    bool WarnsMissingMethods() const { return warnMissingMethods_; }
    void SetDelegate(TObject* delegate);
    void RemoveDelegate();
    TObject* GetDelegate() const { return delegate_; }
    void InvokeDelegate(const ShortString& name, void* param = nullptr);

    // Copying.
    TObject* Copy(void* params = nullptr);
    virtual void CopyInstanceVariables(TObject* source);
    void SetCopyParameters(void* params) { copyParameters_ = params; }
    void* GetCopyParameters() const { return copyParameters_; }
    bool DidInitializeFromCopying() const { return copyParameters_ != nullptr; }
    void* GetInitializationParameters() const { return initializationParameters_; }
    bool DidInitializeFromArchive() const { return decodedFromArchive_; }

    // Archiving: EncodeData writes the class name under "system.class";
    // subclasses call the inherited operation first, then write their keys.
    virtual bool AllowArchiving();
    virtual void EncodeData(TArchiver* archiver);
    virtual void DecodeData(TArchiver* archiver);
    TArchiver* CopyArchive();
    void ArchiveObject(TArchiver* archiver);

    // Descriptions and the remaining hooks.
    virtual CFStringRef CopyDescription();
    virtual void Show();
    virtual bool Equal(const void* other);
    virtual bool GetMethodResponse(const ShortString& name);
    virtual void* GetInstanceVariable(const ShortString& name);
    virtual bool GetInstanceVariable(const ShortString& name, void* value);

    // Whether `pointer` is an object of the system that has not been freed.
    static bool IsLiveObject(const void* pointer);

    // Memory notes ("* alloc TFoo #1") on standard output, off normally.
    static void SetShowMemoryNotes(bool show);
    bool ShowNotes() const;

protected:
    TObject();
    virtual ~TObject();
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    template <typename T>
    static T* AllocateInstance()
    {
        T* object = new T;
        object->NoteAllocation();
        return object;
    }

    template <typename T>
    static T* CreateInstance()
    {
        T* object = new T;
        object->Initialize();
        return object;
    }

    // A further platform object the object owns, released when it goes.
    void SetAuxiliaryObject(CFTypeRef object);

private:
    friend void DumpAutoreleaseTable();
    friend TObject* RebuildFromArchive(TArchiver* child, void* params, const ClassInfo* expected);

    void NoteAllocation();
    void Note(const char* what, bool withCount) const;
    // The class's handler of a message name, searching the ancestors too.
    MethodCode FindMessageHandler(const ShortString& name) const;
    void DefaultHandlerStr(const ShortString& name);

    bool warnMissingMethods_ = false;
    std::unordered_map<CFStringRef, MethodCode>* methodTable_ = nullptr;
    CFMutableDictionaryRef properties_ = nullptr;
    CFMutableDictionaryRef integerProperties_ = nullptr;
    CFTypeRef auxiliaryObject_ = nullptr;
    // Releases booked by Autorelease and not yet done by the drain.
    int pendingAutoreleases_ = 0;
    std::atomic<SInt32> retainCount_{1};
    bool initialized_ = false;
    bool decodedFromArchive_ = false;
    void* initializationParameters_ = nullptr;
    void* copyParameters_ = nullptr;
    TObject* delegate_ = nullptr;
};

// A platform object owned by an object of the system, so that it can be
// autoreleased.
class TCFType : public TObject {
    BRINDLET_CLASS(TCFType, TObject)

public:
    // Takes over the caller's reference to `cf`.
    static TCFType* Create(CFTypeRef cf);
    CFTypeRef GetCFObject() const { return cfObject_; }
    void Deallocate() override;

protected:
    TCFType() = default;

private:
    CFTypeRef cfObject_ = nullptr;
};

// Whether `object` is of `classInfo` or a class derived from it; false for nil.
bool MemberOfClass(const TObject* object, const ClassInfo& classInfo);

// Releases the object a variable holds and clears the variable.
template <typename T>
void ReleaseObject(T*& object)
{
    static_assert(std::is_base_of_v<TObject, T>, "ReleaseObject takes objects of the system");
    if (object != nullptr) {
        TObject* released = object;
        object = nullptr;
        released->Release();
    }
}

// The same for a variable of no particular type: released only when it
// holds a live object of the system; otherwise a warning, and the variable
// is left as it is.
void ReleaseObject(void*& object);

// The field setter of the system: the new object is retained, then the old
// one released (so storing the object a field already holds never frees it).
template <typename T, typename U>
void RetainObject(T*& field, U* object)
{
    static_assert(std::is_base_of_v<TObject, T> && std::is_convertible_v<U*, T*>);
    if (field == object)
        return;
    if (object != nullptr)
        object->Retain();
    T* old = field;
    field = object;
    if (old != nullptr)
        old->Release();
}

// Hands a platform object to the next drain of the autorelease table, which
// releases it; answers `cf` (nil passes through).
CFTypeRef CFAutorelease(CFTypeRef cf);

// Releases everything the calling thread's autorelease table holds. The
// main event loop calls it on its next pass after an Autorelease; a
// background task calls it when its work is done.
void DumpAutoreleaseTable();

// ---- the class registry ----

// Adds a class under its name; a name already registered keeps its first class.
void RegisterClass(const ShortString& name, const ClassInfo& classInfo);
void RegisterClass(const ClassInfo& classInfo);
// The class of a name, or nil with a warning.
const ClassInfo* FindClass(const ShortString& name);
// A new, allocated (not initialised) object of the named class, with its
// construction parameters handed in order; nil with warnings for a name
// that is not registered. The caller calls RequestInitialization.
TObject* AllocateClass(const ShortString& name, const ParameterArray& params = {});

// Rebuilds an object from a child archive (by index of "system.objects", by
// key) or from the archive itself: allocated, flagged as decoded, decoded,
// then initialised. Nil when there is no such archive or its class is not
// registered; with `expected`, also (with one warning, before anything is
// made) when the archive names a class that is not that class or one of
// its subclasses. The caller owns the object.
TObject* AllocateFromArchive(TArchiver* archiver, SInt32 index, void* params, const ClassInfo* expected = nullptr);
TObject* AllocateFromArchive(TArchiver* archiver, const ShortString& key, void* params,
                             const ClassInfo* expected = nullptr);
TObject* AllocateFromArchive(TArchiver* archiver, void* params, const ClassInfo* expected = nullptr);

// Writes the warning for an archive whose class is not the one expected.
void WarnUnexpectedClass(const ClassInfo& found, const ClassInfo& expected);

// The same, for an archive that must hold a T: callers get what they asked
// for however a file was edited, and an archive naming another class builds
// nothing.
template <typename T, typename... Where>
T* AllocateFromArchiveAs(TArchiver* archiver, Where... where)
{
    return static_cast<T*>(AllocateFromArchive(archiver, where..., &T::StaticClass()));
}
