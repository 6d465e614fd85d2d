// An owning holder for a Core Foundation reference: releases it when it goes.
// Only for call sites; the platform functions keep their raw signatures.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <utility>

template <typename Ref>
class CFRef {
public:
    CFRef() = default;
    // Takes over the caller's reference (from a Create or Copy function).
    explicit CFRef(Ref ref) : ref_(ref) {}
    ~CFRef() { Reset(); }
    CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CFRef& operator=(CFRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            ref_ = std::exchange(other.ref_, nullptr);
        }
        return *this;
    }
    CFRef(const CFRef&) = delete;
    CFRef& operator=(const CFRef&) = delete;

    // Holds a borrowed reference (from a Get function) by retaining it.
    static CFRef Retained(Ref ref)
    {
        if (ref)
            CFRetain(ref);
        return CFRef(ref);
    }

    Ref get() const { return ref_; }
    operator Ref() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }
    // Gives the reference back to the caller, who releases it.
    Ref release() { return std::exchange(ref_, nullptr); }
    void Reset(Ref ref = nullptr)
    {
        if (ref_)
            CFRelease(ref_);
        ref_ = ref;
    }

private:
    Ref ref_ = nullptr;
};
