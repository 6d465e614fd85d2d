#include <CFTestSupport.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Callbacks that count what a container does to its values.
struct Counts {
    int retains = 0;
    int releases = 0;
};
Counts gCounts;

const void* CountingRetain(CFAllocatorRef, const void* value)
{
    ++gCounts.retains;
    return value;
}

void CountingRelease(CFAllocatorRef, const void*)
{
    ++gCounts.releases;
}

Boolean SameFirstCharacter(const void* a, const void* b)
{
    return *static_cast<const char*>(a) == *static_cast<const char*>(b);
}

CFComparisonResult CompareFirstCharacter(const void* a, const void* b, void*)
{
    char x = *static_cast<const char*>(a), y = *static_cast<const char*>(b);
    return x < y ? kCFCompareLessThan : x > y ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

std::vector<std::string> Texts(CFArrayRef array)
{
    std::vector<std::string> texts;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        texts.push_back(static_cast<const char*>(CFArrayGetValueAtIndex(array, i)));
    return texts;
}

}  // namespace

TEST(CFArray, CallbacksSeeEveryValueEnterAndLeave)
{
    gCounts = {};
    const CFArrayCallBacks callbacks = {0, CountingRetain, CountingRelease, nullptr, SameFirstCharacter};
    {
        CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &callbacks));
        CFArrayAppendValue(array, "b1");
        CFArrayAppendValue(array, "a1");
        CFArrayInsertValueAtIndex(array, 0, "c1");
        CFArraySetValueAtIndex(array, 1, "b2");  // replaces "b1"
        EXPECT_EQ(gCounts.retains, 4);
        EXPECT_EQ(gCounts.releases, 1);
        EXPECT_TRUE(CFArrayContainsValue(array, CFRangeMake(0, 3), "a-anything")) << "the list's own equality";
        EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 3), "bx"), 1);

        // A mutable copy keeps the source's callbacks: each value enters once more.
        CFRef<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, array));
        EXPECT_EQ(gCounts.retains, 7);
        CFArrayRemoveValueAtIndex(copy, 0);
        EXPECT_EQ(gCounts.releases, 2);
        EXPECT_EQ(Texts(array), (std::vector<std::string>{"c1", "b2", "a1"}));
        EXPECT_EQ(Texts(copy), (std::vector<std::string>{"b2", "a1"}));
    }
    EXPECT_EQ(gCounts.retains, gCounts.releases) << "everything that entered left";
}

TEST(CFArray, EditingTable)
{
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, nullptr));
    for (const char* text : {"d1", "b1", "a1", "b2", "c1", "a2"})
        CFArrayAppendValue(array, text);
    CFArraySortValues(array, CFRangeMake(0, 6), CompareFirstCharacter, nullptr);
    EXPECT_EQ(Texts(array), (std::vector<std::string>{"a1", "a2", "b1", "b2", "c1", "d1"})) << "a stable sort";

    CFArrayExchangeValuesAtIndices(array, 0, 5);
    const void* replacement[] = {"x", "y", "z"};
    CFArrayReplaceValues(array, CFRangeMake(1, 2), replacement, 3);
    EXPECT_EQ(Texts(array), (std::vector<std::string>{"d1", "x", "y", "z", "b2", "c1", "a1"}));

    CFRef<CFArrayRef> tail(CFArrayCreate(nullptr, replacement, 3, nullptr));
    CFArrayAppendArray(array, tail, CFRangeMake(1, 5));  // cut to the two values there are
    EXPECT_EQ(Texts(array).back(), "z");
    EXPECT_EQ(CFArrayGetCount(array), 9);

    Diagnostics::Capture capture;
    CFArrayRemoveValueAtIndex(array, 9);
    CFArrayInsertValueAtIndex(array, -1, "bad");
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(tail.get()), "immutable");
    EXPECT_EQ(CFArrayGetCount(array), 9);
    EXPECT_EQ(CFArrayGetCount(tail), 3);
    EXPECT_EQ(capture.Lines().size(), 3u);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 9), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);

    CFArrayRemoveAllValues(array);
    EXPECT_EQ(CFArrayGetCount(array), 0);
}

TEST(CFArray, CopiesShareNestedContainersAndCompareByValue)
{
    CFRef<CFMutableArrayRef> inner(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFMutableArrayRef> outer(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(outer, inner);
    CFArrayAppendValue(outer, CFSTR("text"));
    CFRef<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, outer));
    EXPECT_EQ(CFArrayGetValueAtIndex(copy, 0), inner.get()) << "shallow: the nested list is shared";
    EXPECT_EQ(CFGetRetainCount(inner), 3);
    EXPECT_TRUE(CFEqual(copy, outer));

    CFRef<CFStringRef> other = MakeString("text");
    CFArraySetValueAtIndex(copy, 1, other);
    EXPECT_TRUE(CFEqual(copy, outer)) << "equal values, not identical ones";
    CFArrayAppendValue(copy, kCFBooleanTrue);
    EXPECT_FALSE(CFEqual(copy, outer));
    EXPECT_EQ(CFArrayGetCount(outer), 2);
}

TEST(CFDictionary, SetAddReplaceAndRemove)
{
    CFRef<CFMutableDictionaryRef> d(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFRef<CFStringRef> key = MakeString("name");  // equal to, not identical with, CFSTR("name")
    CFDictionarySetValue(d, key, CFSTR("first"));
    CFDictionaryAddValue(d, CFSTR("name"), CFSTR("ignored"));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, CFSTR("name")), CFSTR("first"))) << "add keeps the existing value";
    CFDictionaryReplaceValue(d, CFSTR("name"), CFSTR("second"));
    CFDictionaryReplaceValue(d, CFSTR("missing"), CFSTR("ignored"));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, key), CFSTR("second")));
    EXPECT_FALSE(CFDictionaryContainsKey(d, CFSTR("missing")));
    CFDictionarySetValue(d, CFSTR("name"), CFSTR("third"));
    EXPECT_EQ(CFDictionaryGetCount(d), 1);

    const void* value = nullptr;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(d, CFSTR("name"), &value));
    EXPECT_TRUE(CFEqual(value, CFSTR("third")));
    EXPECT_TRUE(CFDictionaryContainsValue(d, CFSTR("third")));
    CFDictionaryRemoveValue(d, CFSTR("name"));
    EXPECT_EQ(CFDictionaryGetCount(d), 0);
    EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("name")), nullptr);
    EXPECT_EQ(CFGetRetainCount(key), 1) << "the removed key was released";
}

TEST(CFDictionary, LargeTablesKeepOrderAndFindEveryKey)
{
    CFRef<CFMutableDictionaryRef> d(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (SInt32 i = 0; i < 1000; ++i) {
        CFRef<CFStringRef> key = MakeString("key." + std::to_string(i));
        CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &i));
        CFDictionarySetValue(d, key, number);
    }
    for (SInt32 i = 0; i < 1000; i += 2) {
        CFRef<CFStringRef> key = MakeString("key." + std::to_string(i));
        CFDictionaryRemoveValue(d, key);
    }
    ASSERT_EQ(CFDictionaryGetCount(d), 500);
    for (SInt32 i = 0; i < 1000; ++i) {
        CFRef<CFStringRef> key = MakeString("key." + std::to_string(i));
        EXPECT_EQ(CFDictionaryContainsKey(d, key), i % 2 == 1) << i;
    }
    std::vector<const void*> keys(500), values(500);
    CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(keys[0])), "key.1");
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(keys[499])), "key.999");
    SInt32 n = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(values[499]), kCFNumberSInt32Type, &n);
    EXPECT_EQ(n, 999);
}

TEST(CFDictionary, CopiesAndCopiedStringKeys)
{
    CFRef<CFMutableStringRef> key = MakeMutableString("mutable");
    CFRef<CFMutableDictionaryRef> d(
        CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFRef<CFMutableArrayRef> nested(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFDictionarySetValue(d, key, nested);
    CFStringAppend(key, CFSTR(" changed"));
    EXPECT_TRUE(CFDictionaryContainsKey(d, CFSTR("mutable"))) << "the table holds its own copy of the key";

    CFRef<CFMutableDictionaryRef> copy(CFDictionaryCreateMutableCopy(nullptr, 0, d));
    EXPECT_EQ(CFDictionaryGetValue(copy, CFSTR("mutable")), nested.get()) << "nested containers are shared";
    CFDictionarySetValue(copy, CFSTR("added"), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetCount(d), 1) << "the source is unchanged";
    EXPECT_FALSE(CFEqual(copy, d));
    CFDictionaryRemoveValue(copy, CFSTR("added"));
    EXPECT_TRUE(CFEqual(copy, d));

    CFRef<CFDictionaryRef> frozen(CFDictionaryCreateCopy(nullptr, d));
    Diagnostics::Capture capture;
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(frozen.get()), CFSTR("x"), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetCount(frozen), 1);
    EXPECT_EQ(capture.Lines().size(), 1u);
}

TEST(CFContainers, WrongKindsReadAsEmpty)
{
    CFStringRef text = CFSTR("not a container");
    EXPECT_EQ(CFArrayGetCount(reinterpret_cast<CFArrayRef>(text)), 0);
    EXPECT_EQ(CFArrayGetValueAtIndex(reinterpret_cast<CFArrayRef>(text), 0), nullptr);
    EXPECT_EQ(CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(text), CFSTR("k")), nullptr);
    EXPECT_EQ(CFDictionaryGetCount(nullptr), 0);
}
