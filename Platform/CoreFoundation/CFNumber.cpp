#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFNumber.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

struct CFBooleanObject final : CFRuntimeObject {
    constexpr explicit CFBooleanObject(bool v) : CFRuntimeObject(kCFRuntimeTypeBoolean, true), value(v) {}

    CFHashCode Hash() const override { return value ? 1 : 0; }
    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{value = " + (value ? "true" : "false") +
                                      "}");
    }
    CFStringRef CopyFormattingDescription() const override { return CFSTR(value ? "true" : "false"); }

    const bool value;
};

struct CFNumberObject final : CFRuntimeObject {
    constexpr CFNumberObject(CFNumberType canonical, int64_t i, double d, bool immortal = false)
        : CFRuntimeObject(kCFRuntimeTypeNumber, immortal), type(canonical), integer(i), real(d)
    {}

    bool IsFloat() const { return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type; }

    bool Equals(const CFRuntimeObject& other) const override
    {
        return CFNumberCompare(this, static_cast<const CFNumberObject*>(&other), nullptr) == kCFCompareEqualTo;
    }
    CFHashCode Hash() const override;
    CFStringRef CopyDescription() const override;
    CFStringRef CopyFormattingDescription() const override;
    std::string ValueText() const;

    const CFNumberType type;
    const int64_t integer;  // the value of an integer kind
    const double real;      // the value of a float kind (a Float32 is exact in it)
};

namespace {

constinit CFBooleanObject gTrue(true);
constinit CFBooleanObject gFalse(false);
constinit CFNumberObject gPositiveInfinity(kCFNumberFloat64Type, 0, std::numeric_limits<double>::infinity(), true);
constinit CFNumberObject gNegativeInfinity(kCFNumberFloat64Type, 0, -std::numeric_limits<double>::infinity(), true);
constinit CFNumberObject gNaN(kCFNumberFloat64Type, 0, std::numeric_limits<double>::quiet_NaN(), true);

const CFNumberObject* AsNumber(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeNumber)
        return nullptr;
    return static_cast<const CFNumberObject*>(CFRuntimeObjectOf(cf));
}

// The stored kind of every number type (long and CFIndex are 64-bit).
CFNumberType Canonical(CFNumberType type)
{
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
    case kCFNumberCGFloatType:
        return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        return kCFNumberFloat64Type;
    default:
        return 0;
    }
}

CFIndex ByteSize(CFNumberType canonical)
{
    switch (canonical) {
    case kCFNumberSInt8Type:
        return 1;
    case kCFNumberSInt16Type:
        return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type:
        return 4;
    default:
        return 8;
    }
}

template <typename T>
T Load(const void* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void Store(void* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

// Integer of the given width from an integer: wraps like a C cast; answers
// whether the value fits.
template <typename T>
bool StoreInteger(void* p, int64_t v)
{
    Store<T>(p, static_cast<T>(v));
    return v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max();
}

// Integer of the given width from a real: truncated toward zero, clamped to
// the type's range, 0 for NaN; answers whether nothing was lost.
template <typename T>
bool StoreIntegerFromReal(void* p, double d)
{
    if (std::isnan(d)) {
        Store<T>(p, T(0));
        return false;
    }
    long double t = std::trunc(static_cast<long double>(d));
    const long double low = std::numeric_limits<T>::min();
    const long double high = std::numeric_limits<T>::max();
    if (t < low) {
        Store<T>(p, std::numeric_limits<T>::min());
        return false;
    }
    if (t > high) {
        Store<T>(p, std::numeric_limits<T>::max());
        return false;
    }
    Store<T>(p, static_cast<T>(t));
    return t == static_cast<long double>(d);
}

CFComparisonResult Compare(long double a, long double b)
{
    return a < b ? kCFCompareLessThan : a > b ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

std::string ShortestText(double value, bool single)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    char buffer[64];
    auto result = single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value))
                         : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;
const CFNumberRef kCFNumberPositiveInfinity = &gPositiveInfinity;
const CFNumberRef kCFNumberNegativeInfinity = &gNegativeInfinity;
const CFNumberRef kCFNumberNaN = &gNaN;

CFTypeID CFBooleanGetTypeID()
{
    return kCFRuntimeTypeBoolean;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean)
{
    if (boolean == nullptr || CFRuntimeObjectOf(boolean)->TypeID() != kCFRuntimeTypeBoolean)
        return false;
    return boolean->value;
}

CFHashCode CFNumberObject::Hash() const
{
    if (!IsFloat())
        return static_cast<CFHashCode>(integer);
    // Reals with an integral value hash like the equal integer.
    if (std::isfinite(real) && real == std::trunc(real) && std::fabs(real) < 9.2e18)
        return static_cast<CFHashCode>(static_cast<int64_t>(real));
    if (std::isnan(real))
        return 0x7ff8;
    uint64_t bits;
    std::memcpy(&bits, &real, sizeof bits);
    return static_cast<CFHashCode>(bits);
}

std::string CFNumberObject::ValueText() const
{
    return IsFloat() ? ShortestText(real, type == kCFNumberFloat32Type) : std::to_string(integer);
}

CFStringRef CFNumberObject::CopyDescription() const
{
    static const char* const kNames[] = {"", "SInt8", "SInt16", "SInt32", "SInt64", "Float32", "Float64"};
    return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{value = " + ValueText() + ", type = kCFNumber" +
                                  kNames[type] + "Type}");
}

CFStringRef CFNumberObject::CopyFormattingDescription() const
{
    return CFStringCreateWithUTF8(ValueText());
}

CFTypeID CFNumberGetTypeID()
{
    return kCFRuntimeTypeNumber;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
    const CFNumberType canonical = Canonical(theType);
    if (valuePtr == nullptr || canonical == 0)
        return nullptr;
    int64_t i = 0;
    double d = 0.0;
    switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        i = Load<int8_t>(valuePtr);
        break;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        i = Load<int16_t>(valuePtr);
        break;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        i = Load<int32_t>(valuePtr);
        break;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
    case kCFNumberCGFloatType:
        d = Load<float>(valuePtr);
        break;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        d = Load<double>(valuePtr);
        break;
    default:
        i = Load<int64_t>(valuePtr);
        break;
    }
    return new CFNumberObject(canonical, i, d);
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const CFNumberObject* n = AsNumber(number);
    return n ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number)
{
    const CFNumberObject* n = AsNumber(number);
    return n ? ByteSize(n->type) : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    const CFNumberObject* n = AsNumber(number);
    return n && n->IsFloat();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr)
{
    const CFNumberObject* n = AsNumber(number);
    const CFNumberType target = Canonical(theType);
    if (n == nullptr || valuePtr == nullptr || target == 0)
        return false;
    if (!n->IsFloat()) {
        const int64_t v = n->integer;
        switch (target) {
        case kCFNumberSInt8Type:
            return StoreInteger<int8_t>(valuePtr, v);
        case kCFNumberSInt16Type:
            return StoreInteger<int16_t>(valuePtr, v);
        case kCFNumberSInt32Type:
            return StoreInteger<int32_t>(valuePtr, v);
        case kCFNumberSInt64Type:
            return StoreInteger<int64_t>(valuePtr, v);
        case kCFNumberFloat32Type: {
            float f = static_cast<float>(v);
            Store(valuePtr, f);
            return static_cast<long double>(f) == static_cast<long double>(v);
        }
        default: {
            double d = static_cast<double>(v);
            Store(valuePtr, d);
            return static_cast<long double>(d) == static_cast<long double>(v);
        }
        }
    }
    const double d = n->real;
    switch (target) {
    case kCFNumberSInt8Type:
        return StoreIntegerFromReal<int8_t>(valuePtr, d);
    case kCFNumberSInt16Type:
        return StoreIntegerFromReal<int16_t>(valuePtr, d);
    case kCFNumberSInt32Type:
        return StoreIntegerFromReal<int32_t>(valuePtr, d);
    case kCFNumberSInt64Type:
        return StoreIntegerFromReal<int64_t>(valuePtr, d);
    case kCFNumberFloat32Type: {
        float f = static_cast<float>(d);
        Store(valuePtr, f);
        return std::isnan(d) || static_cast<double>(f) == d;
    }
    default:
        Store(valuePtr, d);
        return true;
    }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*)
{
    const CFNumberObject* a = AsNumber(number);
    const CFNumberObject* b = AsNumber(otherNumber);
    if (a == nullptr || b == nullptr)
        return a ? kCFCompareGreaterThan : b ? kCFCompareLessThan : kCFCompareEqualTo;
    if (!a->IsFloat() && !b->IsFloat())
        return a->integer < b->integer   ? kCFCompareLessThan
               : a->integer > b->integer ? kCFCompareGreaterThan
                                         : kCFCompareEqualTo;
    const bool aNaN = a->IsFloat() && std::isnan(a->real);
    const bool bNaN = b->IsFloat() && std::isnan(b->real);
    // NaN sorts before every other number and equals itself, so that
    // equality and hashing agree.
    if (aNaN || bNaN)
        return aNaN && bNaN ? kCFCompareEqualTo : aNaN ? kCFCompareLessThan : kCFCompareGreaterThan;
    long double x = a->IsFloat() ? static_cast<long double>(a->real) : static_cast<long double>(a->integer);
    long double y = b->IsFloat() ? static_cast<long double>(b->real) : static_cast<long double>(b->integer);
    return Compare(x, y);
}
