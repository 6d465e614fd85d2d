#include "UObjectWrapper.h"

#include <cstdint>

namespace {

const std::string kWrappedObjectKey = "wrappedObject";

}  // namespace

NSObjectWrapper* NSObjectWrapper::wrapperWithObject(TObject* object)
{
    return NSAutorelease(newWithObject(object));
}

NSObjectWrapper* NSObjectWrapper::newWithObject(TObject* object)
{
    return new NSObjectWrapper(object);
}

NSObjectWrapper* NSObjectWrapper::copy() const
{
    return newWithObject(wrappedObject_);
}

void NSObjectWrapper::encodeWithCoder(NSCoder* coder) const
{
    // The whole pointer: four bytes would cut a 64-bit address in half.
    static_assert(sizeof(intptr_t) <= sizeof(int64_t));
    coder->encodeInt64(int64_t(reinterpret_cast<intptr_t>(wrappedObject_)), kWrappedObjectKey);
}

NSObject* NSObjectWrapper::newWithCoder(NSCoder* coder)
{
    auto* object = reinterpret_cast<TObject*>(intptr_t(coder->decodeInt64ForKey(kWrappedObjectKey)));
    return newWithObject(TObject::IsLiveObject(object) ? object : nullptr);
}

void InitializeUObjectWrapperUnit()
{
    NSKeyedUnarchiverRegisterClass("NSObjectWrapper", &NSObjectWrapper::newWithCoder);
}
