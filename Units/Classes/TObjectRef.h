// A holder for one reference to an object of the system's own classes, for
// code that wants the reference given back on every way out of a scope.
//
// Copying retains, destruction and Reset release; Adopt takes over a
// reference the caller already owns (the result of Create, Copy or
// Allocate) without retaining again. The raw Retain/Release API stays
// what the units use; this is a convenience at call sites.
#pragma once

#include <Units/Classes/TObjectUnit.h>

#include <utility>

template <typename T>
class TObjectRef {
public:
    TObjectRef() = default;
    TObjectRef(std::nullptr_t) {}

    // Takes over an owned reference (count unchanged).
    static TObjectRef Adopt(T* object)
    {
        TObjectRef ref;
        ref.object_ = object;
        return ref;
    }
    // Adds a reference of its own to a borrowed object.
    static TObjectRef Retain(T* object)
    {
        if (object)
            object->Retain();
        return Adopt(object);
    }

    TObjectRef(const TObjectRef& other) : object_(other.object_)
    {
        if (object_)
            object_->Retain();
    }
    TObjectRef(TObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    TObjectRef& operator=(TObjectRef other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }
    ~TObjectRef() { Reset(); }

    // Releases the held reference, if any, and holds `object` (adopted).
    void Reset(T* object = nullptr)
    {
        T* old = std::exchange(object_, object);
        if (old)
            old->Release();
    }
    // Hands the reference to the caller, who now owns it.
    [[nodiscard]] T* Detach() { return std::exchange(object_, nullptr); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    operator T*() const { return object_; }

private:
    T* object_ = nullptr;
};
