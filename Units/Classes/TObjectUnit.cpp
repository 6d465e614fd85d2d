#include "TObjectUnit.h"

#include "TArchiverUnit.h"

#include <Units/Utilities/CFUtilities.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <cstdio>
#include <mutex>
#include <unistd.h>
#include <unordered_set>

namespace {

// Build-time settings of the memory notes: off in the shipped programs.
bool gShowMemoryNotes = false;
const char* const kIgnoredClasses[] = {"TCFType"};

// Every object alive, so that a pointer of unknown origin can be checked
// before it is used as an object. Background tasks make objects too.
struct LiveObjects {
    std::mutex mutex;
    std::unordered_set<const void*> objects;
};

LiveObjects& Live()
{
    static auto* live = new LiveObjects;
    return *live;
}

// Objects with releases booked by Autorelease, and the pending drain. Each
// thread has its own table: the main thread's is drained by its event loop,
// a background task drains its own when its work is done.
thread_local std::vector<TObject*> gAutoreleaseTable;
thread_local EventLoopTimerRef gAutoreleaseTimer = nullptr;

bool OnMainThread()
{
    return gettid() == getpid();
}

void AutoreleaseTimerCallback(EventLoopTimerRef timer, void*)
{
    RemoveEventLoopTimer(timer);
    gAutoreleaseTimer = nullptr;
    DumpAutoreleaseTable();
}

void ScheduleDrain()
{
    if (gAutoreleaseTimer == nullptr && OnMainThread())
        InstallEventLoopTimer(GetCurrentEventLoop(), 0.0, 0.0, AutoreleaseTimerCallback, nullptr, &gAutoreleaseTimer);
}

std::unordered_map<CFStringRef, const ClassInfo*>* gRegisteredClasses = nullptr;

}  // namespace

// ---- classes ----

bool ClassInfo::InheritsFrom(const ClassInfo& ancestor) const
{
    for (const ClassInfo* c = this; c != nullptr; c = c->parent)
        if (c == &ancestor)
            return true;
    return false;
}

const ClassInfo& TObject::StaticClass()
{
    static const ClassInfo info{"TObject", nullptr, []() -> TObject* { return TObject::Allocate(); }, {}};
    return info;
}

bool MemberOfClass(const TObject* object, const ClassInfo& classInfo)
{
    return object != nullptr && object->GetClass().InheritsFrom(classInfo);
}

// ---- life cycle ----

TObject::TObject()
{
    LiveObjects& live = Live();
    std::lock_guard lock(live.mutex);
    live.objects.insert(this);
}

TObject::~TObject()
{
    LiveObjects& live = Live();
    std::lock_guard lock(live.mutex);
    live.objects.erase(this);
}

bool TObject::IsLiveObject(const void* pointer)
{
    if (pointer == nullptr)
        return false;
    LiveObjects& live = Live();
    std::lock_guard lock(live.mutex);
    return live.objects.count(pointer) == 1;
}

void TObject::SetShowMemoryNotes(bool show)
{
    gShowMemoryNotes = show;
}

bool TObject::ShowNotes() const
{
    if (!gShowMemoryNotes)
        return false;
    for (const char* ignored : kIgnoredClasses)
        if (std::string_view(ignored) == ClassName())
            return false;
    return true;
}

void TObject::Note(const char* what, bool withCount) const
{
    if (!ShowNotes())
        return;
    std::string line = std::string("* ") + what + " " + ClassName();
    if (withCount)
        line += " #" + std::to_string(GetRetainCount());
    Diagnostics::WriteLine(line);
}

void TObject::NoteAllocation()
{
    retainCount_ = 1;
    Note("alloc", true);
}

void TObject::RequestInitialization()
{
    if (!initialized_)
        Initialize();
}

void TObject::Initialize()
{
    retainCount_ = 1;
    initialized_ = true;
    if (properties_ == nullptr)
        properties_ =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

void TObject::InitializeParameter(SInt32, const ParameterType&) {}

TObject* TObject::Retain()
{
    retainCount_.fetch_add(1, std::memory_order_relaxed);
    Note("retain", true);
    return this;
}

void TObject::Release()
{
    const SInt32 count = retainCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    Note("release", true);
    if (count >= 1)
        return;
    if (pendingAutoreleases_ > 0) {
        // Checked here, before any Deallocate runs, so that a subclass does
        // not let go of what it owns while the object must stay valid: the
        // booked release frees it at the drain.
        Diagnostics::WriteLine("Warning: Attempted to manually release an object in the auto-release table!");
        return;
    }
    Deallocate();
}

TObject* TObject::Autorelease()
{
    gAutoreleaseTable.push_back(this);
    ++pendingAutoreleases_;
    ScheduleDrain();
    return this;
}

void TObject::Deallocate()
{
    if (GetRetainCount() > 0)
        Diagnostics::WriteLine("Warning: Trying to deallocate an object with positive retain count");
    if (pendingAutoreleases_ > 0) {
        Diagnostics::WriteLine("Warning: Attempted to manually release an object in the auto-release table!");
        return;
    }
    if (auxiliaryObject_)
        CFRelease(auxiliaryObject_);
    delete methodTable_;
    methodTable_ = nullptr;
    if (properties_)
        CFRelease(properties_);
    if (integerProperties_)
        CFRelease(integerProperties_);
    auxiliaryObject_ = nullptr;
    properties_ = nullptr;
    integerProperties_ = nullptr;
    Note("deallocate", false);
    if (delegate_)
        delegate_->Release();
    delete this;
}

void DumpAutoreleaseTable()
{
    // The batch leaves the table before anything is released: a release can
    // run a pass of the loop (a modal alert from a handler), and a drain
    // started there must not release this batch's objects a second time.
    // Objects autoreleased while the drain runs (from a Deallocate, say)
    // stay in the table for the next drain, which is booked for them.
    std::vector<TObject*> batch;
    batch.swap(gAutoreleaseTable);
    for (TObject* object : batch) {
        --object->pendingAutoreleases_;
        object->Release();
    }
    if (!gAutoreleaseTable.empty())
        ScheduleDrain();
}

void TObject::SetAuxiliaryObject(CFTypeRef object)
{
    if (object)
        CFRetain(object);
    if (auxiliaryObject_)
        CFRelease(auxiliaryObject_);
    auxiliaryObject_ = object;
}

// ---- properties ----

void TObject::SetTypeProperty(const ShortString& name, CFTypeRef value)
{
    if (value == nullptr)
        return;
    if (properties_ == nullptr)
        properties_ =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(properties_, CFSTR(name), value);
}

void TObject::SetDataProperty(const ShortString& name, UInt32 size, const void* bytes)
{
    CFRef<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), size));
    SetTypeProperty(name, data);
}

CFTypeRef TObject::GetTypeProperty(const ShortString& name) const
{
    return properties_ ? CFDictionaryGetValue(properties_, CFSTR(name)) : nullptr;
}

bool TObject::GetDataProperty(const ShortString& name, void* dest, size_t size) const
{
    return CFDataCopyExactly(GetTypeProperty(name), dest, size);
}

void TObject::SetIntegerProperty(const ShortString& name, SInt32 value)
{
    if (integerProperties_ == nullptr)
        integerProperties_ =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(integerProperties_, CFSTR(name), number);
}

SInt32 TObject::GetIntegerProperty(const ShortString& name) const
{
    CFTypeRef value = integerProperties_ ? CFDictionaryGetValue(integerProperties_, CFSTR(name)) : nullptr;
    if (value == nullptr)
        return -1;
    SInt32 result = 0;
    if (CFGetTypeID(value) == CFNumberGetTypeID())
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &result);
    return result;
}

// ---- calling by name ----

void TObject::RegisterMethod(const ShortString& name, MethodCode code)
{
    if (methodTable_ == nullptr)
        methodTable_ = new std::unordered_map<CFStringRef, MethodCode>;
    (*methodTable_)[CFSTR(name)] = code;
}

MethodCode TObject::FindMethod(const ShortString& name) const
{
    if (methodTable_ == nullptr)
        return nullptr;
    auto it = methodTable_->find(CFSTR(name));
    return it == methodTable_->end() ? nullptr : it->second;
}

void TObject::InvokeMethod(MethodCode code, void* param)
{
    if (code)
        code(this, param);
}

MethodCode TObject::FindMessageHandler(const ShortString& name) const
{
    const std::string key = name.ToString();
    for (const ClassInfo* c = &GetClass(); c != nullptr; c = c->parent) {
        auto it = c->messageHandlers.find(key);
        if (it != c->messageHandlers.end())
            return it->second;
    }
    return nullptr;
}

void TObject::InvokeMethod(const ShortString& name, void* param)
{
    if (MethodCode code = FindMethod(name)) {
        code(this, param);
        return;
    }
    if (MethodCode handler = FindMessageHandler(name)) {
        handler(this, param);
        return;
    }
    DefaultHandlerStr(name);
}

void TObject::DefaultHandlerStr(const ShortString& name)
{
    if (warnMissingMethods_)
        Diagnostics::WriteLine("Warning: the method " + name.ToString() + " could not be found in " +
                               std::string(ClassName()) + ".");
}

void TObject::SetDelegate(TObject* delegate)
{
    RetainObject(delegate_, delegate);
}

void TObject::RemoveDelegate()
{
    ReleaseObject(delegate_);
}

void TObject::InvokeDelegate(const ShortString& name, void* param)
{
    if (delegate_)
        delegate_->InvokeMethod(name, param);
}

// ---- copying ----

TObject* TObject::Copy(void* params)
{
    TObject* copy = GetClass().allocate();
    if (params)
        copy->copyParameters_ = params;
    copy->CopyInstanceVariables(this);
    copy->Initialize();
    return copy;
}

void TObject::CopyInstanceVariables(TObject*) {}

// ---- archiving ----

bool TObject::AllowArchiving()
{
    return true;
}

void TObject::EncodeData(TArchiver* archiver)
{
    archiver->SetStringValue("system.class", ClassName());
}

void TObject::DecodeData(TArchiver*) {}

TArchiver* TObject::CopyArchive()
{
    TArchiver* archiver = TArchiver::Create();
    EncodeData(archiver);
    return archiver;
}

void TObject::ArchiveObject(TArchiver* archiver)
{
    if (!AllowArchiving())
        return;
    TArchiver* child = CopyArchive();
    archiver->AppendArchive(child);
    child->Release();
}

// ---- descriptions and hooks ----

CFStringRef TObject::CopyDescription()
{
    return CFStringCreateWithCString(nullptr, ClassName(), kCFStringEncodingUTF8);
}

void TObject::Show()
{
    CFStringRef description = CopyDescription();
    CFShow(description);
    CFRelease(description);
}

bool TObject::Equal(const void*)
{
    return false;
}

bool TObject::GetMethodResponse(const ShortString&)
{
    return false;
}

void* TObject::GetInstanceVariable(const ShortString&)
{
    return nullptr;
}

bool TObject::GetInstanceVariable(const ShortString&, void*)
{
    return false;
}

// ---- unit routines ----

void ReleaseObject(void*& object)
{
    if (object == nullptr)
        return;
    if (!TObject::IsLiveObject(object)) {
        char text[64];
        std::snprintf(text, sizeof text, "%p", object);
        Diagnostics::WriteLine(std::string(text) + " is not a member of TObject!");
        return;
    }
    TObject* released = static_cast<TObject*>(object);
    object = nullptr;
    released->Release();
}

BRINDLET_DEFINE_CLASS(TCFType, TObject)

TCFType* TCFType::Create(CFTypeRef cf)
{
    TCFType* wrapper = AllocateInstance<TCFType>();
    wrapper->cfObject_ = cf;
    wrapper->Initialize();
    return wrapper;
}

void TCFType::Deallocate()
{
    if (cfObject_)
        CFRelease(cfObject_);
    cfObject_ = nullptr;
    Inherited::Deallocate();
}

CFTypeRef CFAutorelease(CFTypeRef cf)
{
    if (cf == nullptr)
        return nullptr;
    TCFType::Create(cf)->Autorelease();
    return cf;
}

// ---- the class registry ----

void RegisterClass(const ShortString& name, const ClassInfo& classInfo)
{
    if (gRegisteredClasses == nullptr)
        gRegisteredClasses = new std::unordered_map<CFStringRef, const ClassInfo*>;
    gRegisteredClasses->emplace(CFSTR(name), &classInfo);
}

void RegisterClass(const ClassInfo& classInfo)
{
    RegisterClass(classInfo.name, classInfo);
}

const ClassInfo* FindClass(const ShortString& name)
{
    if (gRegisteredClasses == nullptr) {
        Diagnostics::WriteLine("Warning: No classes are registered! The class " + name.ToString() +
                               " can not be found.");
        return nullptr;
    }
    auto it = gRegisteredClasses->find(CFSTR(name));
    if (it == gRegisteredClasses->end()) {
        Diagnostics::WriteLine("Warning: The class " + name.ToString() + " is not registered.");
        return nullptr;
    }
    return it->second;
}

TObject* AllocateClass(const ShortString& name, const ParameterArray& params)
{
    const ClassInfo* classInfo = FindClass(name);
    if (classInfo == nullptr) {
        Diagnostics::WriteLine("Warning: The class " + name.ToString() + " is not registered.");
        return nullptr;
    }
    TObject* object = classInfo->allocate();
    for (size_t i = 0; i < params.size(); ++i)
        object->InitializeParameter(static_cast<SInt32>(i + 1), params[i]);
    return object;
}

TObject* RebuildFromArchive(TArchiver* child, void* params, const ClassInfo* expected)
{
    // The file names the class to build; only a class the caller can take
    // is ever made, so no other class decodes or initialises from it.
    const ShortString name = child->GetStringValue("system.class");
    if (expected != nullptr) {
        const ClassInfo* named = FindClass(name);
        if (named == nullptr)
            return nullptr;
        if (!named->InheritsFrom(*expected)) {
            WarnUnexpectedClass(*named, *expected);
            return nullptr;
        }
    }
    TObject* object = AllocateClass(name);
    if (object == nullptr)
        return nullptr;
    object->decodedFromArchive_ = true;
    object->initializationParameters_ = params;
    object->DecodeData(child);
    object->RequestInitialization();
    return object;
}

TObject* AllocateFromArchive(TArchiver* archiver, SInt32 index, void* params, const ClassInfo* expected)
{
    TArchiver* child = archiver ? archiver->CopyArchive(index) : nullptr;
    if (child == nullptr)
        return nullptr;
    TObject* object = RebuildFromArchive(child, params, expected);
    child->Release();
    return object;
}

TObject* AllocateFromArchive(TArchiver* archiver, const ShortString& key, void* params, const ClassInfo* expected)
{
    TArchiver* child = archiver ? archiver->CopyArchive(key) : nullptr;
    if (child == nullptr)
        return nullptr;
    TObject* object = RebuildFromArchive(child, params, expected);
    child->Release();
    return object;
}

TObject* AllocateFromArchive(TArchiver* archiver, void* params, const ClassInfo* expected)
{
    return archiver ? RebuildFromArchive(archiver, params, expected) : nullptr;
}

void WarnUnexpectedClass(const ClassInfo& found, const ClassInfo& expected)
{
    Diagnostics::WriteLine("Warning: The archive holds a " + std::string(found.name) + " where a " + expected.name +
                           " was expected.");
}
