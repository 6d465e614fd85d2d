#include <CFTestSupport.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

CFRef<CFNumberRef> Integer(int64_t value)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
}

CFRef<CFNumberRef> Real(double value)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberFloat64Type, &value));
}

CFRef<CFMutableDictionaryRef> NewDictionary()
{
    return CFRef<CFMutableDictionaryRef>(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

CFRef<CFMutableArrayRef> NewArray()
{
    return CFRef<CFMutableArrayRef>(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
}

// A tree shaped like a small keyed archive, with every kind of value.
CFRef<CFMutableDictionaryRef> SampleTree()
{
    auto root = NewDictionary();
    CFDictionarySetValue(root, CFSTR("system.class"), CFSTR("TSheet"));
    CFDictionarySetValue(root, CFSTR("title"), CFSTR("Grüße & <Welt> \"quoted\""));
    CFDictionarySetValue(root, CFSTR("count"), Integer(-42));
    CFDictionarySetValue(root, CFSTR("big"), Integer(int64_t(1) << 40));
    CFDictionarySetValue(root, CFSTR("ratio"), Real(0.1));
    float x = 12.5f;
    CFRef<CFNumberRef> single(CFNumberCreate(nullptr, kCFNumberFloat32Type, &x));
    CFDictionarySetValue(root, CFSTR("frame.origin.x"), single);
    CFDictionarySetValue(root, CFSTR("flag"), kCFBooleanTrue);
    CFDictionarySetValue(root, CFSTR("off"), kCFBooleanFalse);
    CFRef<CFDateRef> date(CFDateCreate(nullptr, 316224000.0));  // 2011-01-09
    CFDictionarySetValue(root, CFSTR("created"), date);
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes.push_back(static_cast<char>(i * 7));
    CFDictionarySetValue(root, CFSTR("image"), MakeData(bytes));

    auto child = NewDictionary();
    CFDictionarySetValue(child, CFSTR("system.class"), CFSTR("TTask"));
    CFDictionarySetValue(child, CFSTR("empty"), NewDictionary());
    CFDictionarySetValue(child, CFSTR("list"), NewArray());
    auto deep = NewArray();
    CFArrayAppendValue(deep, MakeData("abc"));
    CFArrayAppendValue(deep, CFSTR(""));
    CFDictionarySetValue(child, CFSTR("deep"), deep);
    // Data deeper in the tree: shorter lines, at most eight tabs of indentation.
    std::string blob;
    for (int i = 0; i < 301; ++i)
        blob.push_back(static_cast<char>(i * 13 + 5));
    CFDictionarySetValue(child, CFSTR("thumbnail"), MakeData(blob));
    CFRef<CFMutableArrayRef> nested = NewArray();
    CFMutableArrayRef level = nested;
    std::vector<CFRef<CFMutableArrayRef>> levels;
    for (int depth = 0; depth < 8; ++depth) {
        levels.push_back(NewArray());
        CFArrayAppendValue(level, levels.back());
        level = levels.back();
    }
    CFArrayAppendValue(level, MakeData(blob.substr(0, 200)));
    CFDictionarySetValue(child, CFSTR("nested"), nested);
    auto objects = NewArray();
    CFArrayAppendValue(objects, child);
    CFDictionarySetValue(root, CFSTR("system.objects"), objects);
    return root;
}

std::string Document(std::string_view body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}

}  // namespace

TEST(CFPropertyList, WritesThePlatformLayout)
{
    auto tree = SampleTree();
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, tree));
    ASSERT_TRUE(xml);
    if (std::getenv("BRINDLET_UPDATE_GOLDEN"))
        WriteFixture("PropertyLists/sample.plist", BytesOf(xml));
    EXPECT_EQ(BytesOf(xml), ReadFixture("PropertyLists/sample.plist"));
}

TEST(CFPropertyList, EveryKindRoundTrips)
{
    auto root = NewDictionary();
    CFDictionarySetValue(root, CFSTR("nul bytes"), MakeData(std::string("\0a\0\xff", 4)));
    CFDictionarySetValue(root, CFSTR("empty data"), MakeData(""));
    CFRef<CFStringRef> control = MakeString("\x01 start\ttab\r\n日本語 — Grüße 😀");
    CFDictionarySetValue(root, CFSTR("control"), control);
    CFDictionarySetValue(root, CFSTR("markup"), CFSTR("a < b && c > d ]]> <![CDATA["));
    CFDictionarySetValue(root, CFSTR("empty string"), CFSTR(""));
    CFDictionarySetValue(root, CFSTR("empty dict"), NewDictionary());
    CFDictionarySetValue(root, CFSTR("empty array"), NewArray());
    CFDictionarySetValue(root, CFSTR("min"), Integer(std::numeric_limits<int64_t>::min()));
    CFDictionarySetValue(root, CFSTR("max"), Integer(std::numeric_limits<int64_t>::max()));
    CFDictionarySetValue(root, CFSTR("negative"), Integer(-1));
    for (double value : {0.1, -2.5e-300, 1e300, 3.0, std::numeric_limits<double>::infinity()}) {
        CFRef<CFStringRef> key(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("real %g"), value));
        CFDictionarySetValue(root, key, Real(value));
    }
    CFRef<CFDateRef> before2001(CFDateCreate(nullptr, -86400.0 * 365 * 30 + 17));
    CFDictionarySetValue(root, CFSTR("date"), before2001);
    CFRef<CFStringRef> emptyKey = MakeString("");
    CFDictionarySetValue(root, emptyKey, kCFBooleanFalse);

    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, root));
    ASSERT_TRUE(xml);
    std::string error;
    auto back = ParsePropertyList(BytesOf(xml), kCFPropertyListImmutable, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(CFEqual(back, root)) << DescriptionOf(back);
    // Written again, it gives the same bytes.
    CFRef<CFDataRef> again(CFPropertyListCreateXMLData(nullptr, back));
    EXPECT_EQ(BytesOf(again), BytesOf(xml));
}

// A large text is written whole wherever its buffer grows (from a small
// block on the heap, to a larger one, to a mapping of its own, remapped
// when it fills): an array of many copies of one element must read as the
// element's own text, repeated.
TEST(CFPropertyList, LargeTextsAreWrittenWhole)
{
    auto card = NewDictionary();
    CFDictionarySetValue(card, CFSTR("title"), MakeString("Grüße & <Welt> — 😀 planning the week ahead"));
    CFDictionarySetValue(card, CFSTR("frame.origin.x"), Real(1.0 / 3));
    CFDictionarySetValue(card, CFSTR("z.order"), Integer(-42));
    std::string bytes;
    for (int i = 0; i < 301; ++i)
        bytes.push_back(static_cast<char>(i * 13 + 5));
    CFDictionarySetValue(card, CFSTR("thumbnail"), MakeData(bytes));
    auto one = NewArray();
    CFArrayAppendValue(one, card);
    CFRef<CFDataRef> alone(CFPropertyListCreateXMLData(nullptr, one));
    ASSERT_TRUE(alone);
    const std::string text = BytesOf(alone);
    const size_t open = text.find("<array>\n") + 8, close = text.rfind("</array>\n");
    const std::string element = text.substr(open, close - open);

    constexpr int kCopies = 20000;  // about 12 MB
    auto many = NewArray();
    for (int i = 0; i < kCopies; ++i)
        CFArrayAppendValue(many, card);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, many));
    ASSERT_TRUE(xml);
    std::string expected = text.substr(0, open);
    expected.reserve(expected.size() + element.size() * kCopies + 32);
    for (int i = 0; i < kCopies; ++i)
        expected += element;
    expected += text.substr(close);
    ASSERT_EQ(CFDataGetLength(xml), CFIndex(expected.size()));
    EXPECT_TRUE(BytesOf(xml) == expected) << "the text differs from the element repeated";

    // A value that cannot be written, after megabytes that could: no text.
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFArrayAppendValue(many, uuid);
    EXPECT_FALSE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, many)));
    EXPECT_FALSE(CFPropertyListIsValid(many, kCFPropertyListXMLFormat_v1_0));
}

// A document is read where the caller's bytes are. With kCFAllocatorNull
// they stay the caller's; a malloc block handed over is freed with the data
// object, or at once when the object cannot be made (the sanitizer build
// sees a leak, a double free or a free of the caller's bytes).
TEST(CFPropertyList, ReadsTheCallersBytesInPlace)
{
    std::string text =
        Document("<dict><key>k</key><array><integer>7</integer><string>in place</string></array></dict>");
    const auto* bytes = reinterpret_cast<const UInt8*>(text.data());
    CFRef<CFDataRef> borrowed(CFDataCreateWithBytesNoCopy(nullptr, bytes, CFIndex(text.size()), kCFAllocatorNull));
    ASSERT_TRUE(borrowed);
    EXPECT_EQ(CFDataGetBytePtr(borrowed), bytes) << "not copied";
    CFRef<CFPropertyListRef> tree(
        CFPropertyListCreateFromXMLData(nullptr, borrowed, kCFPropertyListMutableContainers, nullptr));
    ASSERT_TRUE(tree);
    auto expected = ParsePropertyList(text);
    EXPECT_TRUE(CFEqual(tree, expected));
    // Copies are the copies' own.
    CFRef<CFMutableDataRef> copy(CFDataCreateMutableCopy(nullptr, 0, borrowed));
    text[0] = '#';
    EXPECT_EQ(CFDataGetBytePtr(copy)[0], '<');
    EXPECT_EQ(CFDataGetBytePtr(borrowed)[0], '#') << "the caller's bytes, read where they are";

    for (CFAllocatorRef deallocator : {kCFAllocatorDefault, kCFAllocatorMalloc}) {
        auto* block = static_cast<UInt8*>(std::malloc(text.size()));
        std::memcpy(block, text.data(), text.size());
        block[0] = '<';
        CFRef<CFDataRef> adopted(CFDataCreateWithBytesNoCopy(nullptr, block, CFIndex(text.size()), deallocator));
        ASSERT_TRUE(adopted);
        EXPECT_EQ(CFDataGetBytePtr(adopted), block);
        EXPECT_TRUE(
            CFEqual(CFRef<CFPropertyListRef>(CFPropertyListCreateFromXMLData(nullptr, adopted, 0, nullptr)), expected));
        EXPECT_FALSE(CFRef<CFDataRef>(
            CFDataCreateWithBytesNoCopy(nullptr, static_cast<UInt8*>(std::malloc(4)), -1, deallocator)));
    }
    CFRef<CFDataRef> empty(CFDataCreateWithBytesNoCopy(nullptr, bytes, 0, kCFAllocatorNull));
    EXPECT_EQ(CFDataGetLength(empty), 0);
    EXPECT_NE(CFDataGetBytePtr(empty), nullptr);
}

// A large document's tree is carved from chunks of its own: its values
// must live on when the tree goes, wherever they were retained, be edited
// like any others and be freed one by one, on any thread.
TEST(CFPropertyList, ValuesOfALargeTreeOutliveIt)
{
    auto item = [](int i) {
        auto entry = NewDictionary();
        const std::string name = "item " + std::to_string(i) + " of a sheet large enough for several chunks";
        CFDictionarySetValue(entry, CFSTR("name"), MakeString(name));
        CFDictionarySetValue(entry, CFSTR("n"), Integer(i));
        auto list = NewArray();
        CFArrayAppendValue(list, Real(i + 0.5));
        CFArrayAppendValue(list, MakeString(std::to_string(i)));
        CFDictionarySetValue(entry, CFSTR("list"), list);
        return entry;
    };
    constexpr int kItems = 20000;
    auto source = NewArray();
    for (int i = 0; i < kItems; ++i)
        CFArrayAppendValue(source, item(i));
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, source));
    ASSERT_TRUE(xml);
    ASSERT_GT(CFDataGetLength(xml), 2 << 20);

    auto* tree = static_cast<CFMutableArrayRef>(
        const_cast<void*>(CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, nullptr)));
    ASSERT_TRUE(tree);
    ASSERT_TRUE(CFEqual(tree, source));
    // Kept elsewhere: whole entries, and lists edited after the parse (their
    // storage grows out of the chunk it was carved from).
    std::vector<CFTypeRef> kept;
    for (int i = 0; i < kItems; i += 997) {
        auto* entry = static_cast<CFMutableDictionaryRef>(
            const_cast<void*>(CFArrayGetValueAtIndex(tree, static_cast<CFIndex>(i))));
        auto* list = static_cast<CFMutableArrayRef>(const_cast<void*>(CFDictionaryGetValue(entry, CFSTR("list"))));
        for (int k = 0; k < 100; ++k)
            CFArrayAppendValue(list, Integer(k));
        CFDictionaryRemoveValue(entry, CFSTR("n"));
        kept.push_back(CFRetain(entry));
        kept.push_back(CFRetain(list));
    }
    CFArrayRemoveValueAtIndex(tree, 0);
    CFArrayAppendValue(tree, item(kItems));
    std::thread([tree] { CFRelease(tree); }).join();

    for (size_t k = 0; k < kept.size(); k += 2) {
        SCOPED_TRACE(k);
        const int i = static_cast<int>(k / 2) * 997;
        auto expected = item(i);
        CFDictionaryRemoveValue(expected, CFSTR("n"));
        auto* list = static_cast<CFMutableArrayRef>(const_cast<void*>(CFDictionaryGetValue(expected, CFSTR("list"))));
        for (int n = 0; n < 100; ++n)
            CFArrayAppendValue(list, Integer(n));
        EXPECT_TRUE(CFEqual(kept[k], expected));
        EXPECT_EQ(CFGetRetainCount(kept[k]), 1);
        EXPECT_EQ(CFGetRetainCount(kept[k + 1]), 2) << "held by its entry and by us";
    }
    // Freed one by one, the lists first on another thread.
    std::thread([&kept] {
        for (size_t k = 1; k < kept.size(); k += 2)
            CFRelease(kept[k]);
    }).join();
    for (size_t k = 0; k < kept.size(); k += 2)
        CFRelease(kept[k]);
}

// After a large document is read, texts written on the same thread land in
// the room its tree left in its chunk, one after another, and the next
// tree is carved after them. No text may overlap another or a tree, whatever
// is freed first and on whichever thread; a text that outgrows the room, or
// a write that fails, must leave the room usable. Every text must equal the
// one a thread without room writes.
TEST(CFPropertyList, TextsWrittenAfterAReadStayWhole)
{
    auto sheet = [](int cards, const char* tag) {
        auto root = NewArray();
        for (int i = 0; i < cards; ++i) {
            auto card = NewDictionary();
            CFDictionarySetValue(card, CFSTR("title"), MakeString(std::string(tag) + " card " + std::to_string(i)));
            CFDictionarySetValue(card, CFSTR("n"), Integer(i));
            CFArrayAppendValue(root, card);
        }
        return root;
    };
    // Written where no parse left room: a thread of its own.
    auto reference = [](CFTypeRef tree) {
        std::string text;
        std::thread([&] { text = BytesOf(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, tree))); }).join();
        return text;
    };
    struct Case {
        const char* name;
        int cards;  // about 90 bytes of text each
    } const cases[] = {
        {"small, on the heap", 40},     {"medium, in the room", 1500}, {"medium again, after it", 2500},
        {"outgrowing the room", 30000}, {"medium after that", 1200},
    };
    CFRef<CFDataRef> document(CFPropertyListCreateXMLData(nullptr, sheet(3000, "read")));
    ASSERT_GT(CFDataGetLength(document), 64 << 10);

    std::vector<std::pair<CFRef<CFDataRef>, std::string>> texts;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CFRef<CFPropertyListRef> tree(CFPropertyListCreateFromXMLData(nullptr, document, 0, nullptr));
        ASSERT_TRUE(tree);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            auto written = sheet(c.cards, c.name);
            CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, written));
            ASSERT_TRUE(xml);
            texts.emplace_back(std::move(xml), reference(written));
            // A write that fails after filling part of the room gives no text.
            CFArrayAppendValue(written, CFRef<CFUUIDRef>(CFUUIDCreate(nullptr)));
            EXPECT_FALSE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, written)));
        }
        EXPECT_EQ(BytesOf(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, tree))), BytesOf(document));
        if (round == 0)
            std::thread([&tree] { tree.Reset(); }).join();
    }
    // The next tree, read while the texts live, is carved after them.
    CFRef<CFPropertyListRef> again(CFPropertyListCreateFromXMLData(nullptr, document, 0, nullptr));
    ASSERT_TRUE(again);
    EXPECT_TRUE(CFEqual(again, sheet(3000, "read")));
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(BytesOf(texts[i].first) == texts[i].second) << "a text was overwritten";
    }
    // Freed on another thread, every other one first.
    std::thread([&texts] {
        for (size_t i = 0; i < texts.size(); i += 2)
            texts[i].first.Reset();
    }).join();
    for (size_t i = 1; i < texts.size(); i += 2)
        EXPECT_TRUE(BytesOf(texts[i].first) == texts[i].second);

    // A string's text lies in the tree's chunk too: edited, it moves out;
    // kept, it outlives the tree.
    CFRef<CFPropertyListRef> leaves(
        CFPropertyListCreateFromXMLData(nullptr, document, kCFPropertyListMutableContainersAndLeaves, nullptr));
    ASSERT_TRUE(leaves);
    auto title = [&leaves](CFIndex i) {
        auto* card = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(leaves.get()), i));
        return static_cast<CFMutableStringRef>(const_cast<void*>(CFDictionaryGetValue(card, CFSTR("title"))));
    };
    CFRef<CFMutableStringRef> edited(static_cast<CFMutableStringRef>(const_cast<void*>(CFRetain(title(7)))));
    CFRef<CFMutableStringRef> kept(static_cast<CFMutableStringRef>(const_cast<void*>(CFRetain(title(2999)))));
    for (int i = 0; i < 50; ++i)
        CFStringAppendCString(edited, " and more", kCFStringEncodingUTF8);
    std::thread([&leaves] { leaves.Reset(); }).join();
    std::string expected = "read card 7";
    for (int i = 0; i < 50; ++i)
        expected += " and more";
    EXPECT_EQ(UTF8Of(edited), expected);
    EXPECT_EQ(UTF8Of(kept), "read card 2999");
}

namespace {

CFRef<CFMutableArrayRef> CardSheet(int cards, std::string_view tag)
{
    auto root = NewArray();
    for (int i = 0; i < cards; ++i) {
        auto card = NewDictionary();
        CFDictionarySetValue(card, CFSTR("title"), MakeString(std::string(tag) + " card " + std::to_string(i)));
        CFDictionarySetValue(card, CFSTR("n"), Integer(i));
        CFArrayAppendValue(root, card);
    }
    return root;
}

std::string XMLOf(CFTypeRef tree)
{
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, tree));
    return xml ? BytesOf(xml) : std::string("(not written)");
}

}  // namespace

// Values copied or kept from a large read, and texts written after it,
// stay whole while the thread reads and writes on over the same memory.
TEST(CFPropertyList, ValuesKeptFromAReadSurviveLaterReads)
{
    const std::string documentText = XMLOf(CardSheet(3000, "read"));
    CFRef<CFDataRef> document(MakeData(documentText));
    auto read = [&](CFOptionFlags options) {
        return CFRef<CFPropertyListRef>(CFPropertyListCreateFromXMLData(nullptr, document, options, nullptr));
    };
    auto title = [](CFPropertyListRef tree, CFIndex i) {
        auto* card = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(tree), i));
        return static_cast<CFStringRef>(CFDictionaryGetValue(card, CFSTR("title")));
    };
    struct Kept {
        CFRef<CFTypeRef> value;
        std::string expected;
    };
    struct Case {
        const char* name;
        std::function<Kept()> keep;
        std::function<std::string(CFTypeRef)> contents;
    };
    auto stringContents = [](CFTypeRef v) { return UTF8Of(static_cast<CFStringRef>(v)); };
    auto dataContents = [](CFTypeRef v) { return BytesOf(static_cast<CFDataRef>(v)); };
    const Case cases[] = {
        {"mutable copy of a read string, grown",
         [&] {
             auto tree = read(0);
             CFRef<CFMutableStringRef> copy(CFStringCreateMutableCopy(nullptr, 0, title(tree, 1234)));
             for (int i = 0; i < 40; ++i)
                 CFStringAppendCString(copy, " longer", kCFStringEncodingUTF8);
             std::string expected = "read card 1234";
             for (int i = 0; i < 40; ++i)
                 expected += " longer";
             return Kept{CFRef<CFTypeRef>(CFRetain(copy)), expected};
         },
         stringContents},
        {"mutable leaf kept, appended to itself by format",
         [&] {
             auto tree = read(kCFPropertyListMutableContainersAndLeaves);
             auto leaf =
                 static_cast<CFMutableStringRef>(const_cast<void*>(static_cast<const void*>(title(tree, 2999))));
             CFStringAppendFormat(leaf, nullptr, CFSTR("/%@"), leaf);
             return Kept{CFRef<CFTypeRef>(CFRetain(leaf)), "read card 2999/read card 2999"};
         },
         stringContents},
        {"substring of a read string",
         [&] {
             auto tree = read(0);
             CFRef<CFStringRef> part(CFStringCreateWithSubstring(nullptr, title(tree, 77), CFRangeMake(5, 4)));
             return Kept{CFRef<CFTypeRef>(CFRetain(part)), "card"};
         },
         stringContents},
        {"text written into the room",
         [&] {
             auto tree = read(0);
             auto sheet = CardSheet(1500, "room");
             return Kept{CFRef<CFTypeRef>(CFPropertyListCreateXMLData(nullptr, sheet)), XMLOf(sheet)};
         },
         dataContents},
        {"mutable copy of a text in the room, appended to",
         [&] {
             auto tree = read(0);
             auto sheet = CardSheet(1500, "copied");
             CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, sheet));
             CFRef<CFMutableDataRef> copy(CFDataCreateMutableCopy(nullptr, 0, xml));
             CFDataAppendBytes(copy, reinterpret_cast<const UInt8*>("tail"), 4);
             return Kept{CFRef<CFTypeRef>(CFRetain(copy)), BytesOf(xml) + "tail"};
         },
         dataContents},
        {"a tree read on a thread that has ended",
         [&] {
             CFRef<CFPropertyListRef> tree;
             std::thread([&] { tree = read(0); }).join();
             return Kept{CFRef<CFTypeRef>(CFRetain(tree)), documentText};
         },
         [](CFTypeRef v) { return XMLOf(v); }},
        {"a text written into the room of a thread that has ended",
         [&] {
             CFRef<CFDataRef> xml;
             std::thread([&] {
                 auto tree = read(0);
                 xml = CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, CardSheet(1500, "ended")));
             }).join();
             return Kept{CFRef<CFTypeRef>(CFRetain(xml)), XMLOf(CardSheet(1500, "ended"))};
         },
         dataContents},
    };
    std::vector<Kept> kept;
    for (const Case& c : cases)
        kept.push_back(c.keep());
    // Every tree is gone: the next reads start their chunk from the top.
    for (int round = 0; round < 3; ++round) {
        auto tree = read(round == 1 ? CFOptionFlags(kCFPropertyListMutableContainersAndLeaves) : 0);
        ASSERT_TRUE(tree);
        auto sheet = CardSheet(1000 + 500 * round, "churn");
        EXPECT_EQ(XMLOf(sheet), XMLOf(sheet));
    }
    // A text in the room read back: its tree is carved beside it.
    CFRef<CFPropertyListRef> readBack(
        CFPropertyListCreateFromXMLData(nullptr, static_cast<CFDataRef>(kept[3].value.get()), 0, nullptr));
    EXPECT_TRUE(CFEqual(readBack, CardSheet(1500, "room")));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_TRUE(kept[i].value);
        EXPECT_TRUE(cases[i].contents(kept[i].value) == kept[i].expected) << "overwritten";
    }
}

// A thread's last objects may read and write property lists as the thread
// ends, after it gave back the chunk it kept; what they make must not lie
// in memory the next tree is given.
TEST(CFPropertyList, ReadsAsAThreadEndsKeepTheirMemory)
{
    const std::string firstText = XMLOf(CardSheet(400, "first"));
    const std::string lateText = XMLOf(CardSheet(2000, "late"));
    const std::string lateWritten = XMLOf(CardSheet(1500, "late written"));
    struct Late {
        const std::string* document = nullptr;
        CFRef<CFPropertyListRef>* tree = nullptr;
        CFRef<CFDataRef>* text = nullptr;
        ~Late()
        {
            if (document == nullptr)
                return;
            CFRef<CFDataRef> data(MakeData(*document));
            *tree = CFRef<CFPropertyListRef>(CFPropertyListCreateFromXMLData(nullptr, data, 0, nullptr));
            *text = CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, CardSheet(1500, "late written")));
        }
    };
    CFRef<CFPropertyListRef> lateTree;
    CFRef<CFDataRef> lateData;
    std::thread([&] {
        thread_local Late late;  // made first, so destroyed last
        late.document = &lateText;
        late.tree = &lateTree;
        late.text = &lateData;
        CFRef<CFDataRef> data(MakeData(firstText));
        CFRef<CFPropertyListRef> first(CFPropertyListCreateFromXMLData(nullptr, data, 0, nullptr));
        ASSERT_TRUE(first);
    }).join();
    ASSERT_TRUE(lateTree);
    ASSERT_TRUE(lateData);
    // Trees large enough to take fresh chunks, read while the late ones live.
    std::vector<CFRef<CFPropertyListRef>> trees;
    for (int i = 0; i < 3; ++i) {
        CFRef<CFDataRef> big(MakeData(XMLOf(CardSheet(12000, "big " + std::to_string(i)))));
        trees.emplace_back(CFPropertyListCreateFromXMLData(nullptr, big, 0, nullptr));
        ASSERT_TRUE(trees.back());
    }
    EXPECT_TRUE(XMLOf(lateTree) == lateText) << "the late tree was overwritten";
    EXPECT_TRUE(BytesOf(lateData) == lateWritten) << "the late text was overwritten";
    lateTree.Reset();
    lateData.Reset();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(CFEqual(trees[i], CardSheet(12000, "big " + std::to_string(i))));
}

// Equal numbers of a document share one object; numbers that only look
// alike must not: an integer and a real of the same bits, zero and minus
// zero.
TEST(CFPropertyList, NumbersThatLookAlikeStayApart)
{
    auto root = ParsePropertyList(Document("<array><integer>4607182418800017408</integer><real>1</real>"
                                           "<real>0</real><real>-0</real><integer>5</integer><integer>5</integer>"
                                           "<real>5</real></array>"));
    ASSERT_TRUE(root);
    CFArrayRef array = static_cast<CFArrayRef>(root.get());
    ASSERT_EQ(CFArrayGetCount(array), 7);
    auto number = [&](CFIndex i) { return static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, i)); };
    int64_t integer = 0;
    double real = 0;
    EXPECT_FALSE(CFNumberIsFloatType(number(0)));
    CFNumberGetValue(number(0), kCFNumberSInt64Type, &integer);
    EXPECT_EQ(integer, 4607182418800017408);
    EXPECT_TRUE(CFNumberIsFloatType(number(1)));
    CFNumberGetValue(number(1), kCFNumberFloat64Type, &real);
    EXPECT_EQ(real, 1.0);
    CFNumberGetValue(number(2), kCFNumberFloat64Type, &real);
    EXPECT_FALSE(std::signbit(real));
    CFNumberGetValue(number(3), kCFNumberFloat64Type, &real);
    EXPECT_TRUE(std::signbit(real));
    EXPECT_TRUE(CFEqual(number(4), number(5)));
    EXPECT_FALSE(CFNumberIsFloatType(number(5)));
    EXPECT_TRUE(CFNumberIsFloatType(number(6)));
    // Written back as they were read.
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, root));
    EXPECT_NE(BytesOf(xml).find("<integer>4607182418800017408</integer>\n\t<real>1</real>\n\t<real>0</real>\n"
                                "\t<real>-0</real>\n\t<integer>5</integer>\n\t<integer>5</integer>\n\t<real>5</real>"),
              std::string::npos)
        << BytesOf(xml);
}

TEST(CFPropertyList, RefusesWhatIsNotAPropertyList)
{
    auto root = NewDictionary();
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFDictionarySetValue(root, CFSTR("uuid"), uuid);
    EXPECT_FALSE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, root)));
    EXPECT_FALSE(CFPropertyListIsValid(root, kCFPropertyListXMLFormat_v1_0));

    auto numberKeys = NewDictionary();
    CFDictionarySetValue(numberKeys, Integer(1), CFSTR("value"));
    EXPECT_FALSE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, numberKeys)));
    EXPECT_FALSE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, nullptr)));
    EXPECT_TRUE(CFPropertyListIsValid(SampleTree(), kCFPropertyListXMLFormat_v1_0));
}

TEST(CFPropertyList, MutabilityOptions)
{
    const std::string xml = Document("<dict><key>list</key><array><string>s</string></array>"
                                     "<key>data</key><data>AAE=</data></dict>");
    for (CFOptionFlags option :
         {kCFPropertyListImmutable, kCFPropertyListMutableContainers, kCFPropertyListMutableContainersAndLeaves}) {
        auto root = ParsePropertyList(xml, option);
        ASSERT_TRUE(root);
        auto dictionary = static_cast<CFMutableDictionaryRef>(const_cast<void*>(root.get()));
        auto list = static_cast<CFMutableArrayRef>(const_cast<void*>(CFDictionaryGetValue(dictionary, CFSTR("list"))));
        auto text = static_cast<CFMutableStringRef>(const_cast<void*>(CFArrayGetValueAtIndex(list, 0)));
        Diagnostics::Capture quiet;  // refused edits say so; the outcome is what counts here
        CFDictionarySetValue(dictionary, CFSTR("added"), kCFBooleanTrue);
        CFArrayAppendValue(list, kCFBooleanTrue);
        CFStringAppend(text, CFSTR("!"));
        EXPECT_EQ(CFDictionaryGetCount(dictionary), option == kCFPropertyListImmutable ? 2 : 3) << option;
        EXPECT_EQ(CFArrayGetCount(list), option == kCFPropertyListImmutable ? 1 : 2) << option;
        EXPECT_EQ(UTF8Of(text), option == kCFPropertyListMutableContainersAndLeaves ? "s!" : "s") << option;
    }
}

TEST(CFPropertyList, ToleratesWhatUsersFilesHold)
{
    struct Case {
        const char* name;
        std::string xml;
        const char* expectedString;  // the string value under "k", or null to skip
    } cases[] = {
        {"comments and blank lines",
         Document("<!-- note -->\n<dict>\n<!-- x --><key>k</key>\n\n<string>v</string></dict>"), "v"},
        {"entities", Document("<dict><key>k</key><string>&lt;&amp;&gt;&quot;&apos;&#65;&#x263A;</string></dict>"),
         "<&>\"'A☺"},
        {"CDATA", Document("<dict><key>k</key><string>a<![CDATA[<b> & ]]>c</string></dict>"), "a<b> & c"},
        {"raw control characters", Document("<dict><key>k</key><string>\x01\x02</string></dict>"), "\x01\x02"},
        {"no plist element", "<?xml version=\"1.0\"?><dict><key>k</key><string>bare</string></dict>", "bare"},
        {"no declaration", "<plist><dict><key>k</key><string/></dict></plist>", ""},
        {"document type",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
         "version=\"1.0\"><dict><key>k</key><string>t</string></dict></plist>",
         "t"},
        {"Latin-1 declared",
         "<?xml version=\"1.0\" "
         "encoding=\"ISO-8859-1\"?><plist><dict><key>k</key><string>caf\xE9</string></dict></plist>",
         "café"},
        {"byte-order mark", "\xEF\xBB\xBF<plist><dict><key>k</key><string>bom</string></dict></plist>", "bom"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto root = ParsePropertyList(c.xml, kCFPropertyListImmutable, &error);
        ASSERT_TRUE(root) << c.name << ": " << error;
        EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(
                      CFDictionaryGetValue(static_cast<CFDictionaryRef>(root.get()), CFSTR("k")))),
                  c.expectedString)
            << c.name;
    }

    auto numbers =
        ParsePropertyList(Document("<array><integer> 0x1F </integer><integer>-7</integer><real>+2.5</real>"
                                   "<real>-infinity</real><data>\n  AAEC\n  Aw==\n</data><true></true></array>"));
    ASSERT_TRUE(numbers);
    CFArrayRef array = static_cast<CFArrayRef>(numbers.get());
    int64_t n = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, 0)), kCFNumberSInt64Type, &n);
    EXPECT_EQ(n, 31);
    double r = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, 3)), kCFNumberFloat64Type, &r);
    EXPECT_TRUE(std::isinf(r) && r < 0);
    EXPECT_EQ(BytesOf(static_cast<CFDataRef>(CFArrayGetValueAtIndex(array, 4))), std::string("\0\1\2\3", 4));
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 5), kCFBooleanTrue);

    // Base64 read in whole groups and across breaks anywhere in a group.
    const std::string bytes("Man is \xFF\x00\x7F!", 11);
    for (const char* text : {"TWFuIGlzIP8AfyE=", "TW\nFuIG\tlz IP8A\r\nfy\nE=", "T W F u\nIGlzIP8AfyE=\n"}) {
        auto data = ParsePropertyList(Document(std::string("<data>") + text + "</data>"));
        ASSERT_TRUE(data) << text;
        EXPECT_EQ(BytesOf(static_cast<CFDataRef>(data.get())), bytes) << text;
    }
}

TEST(CFPropertyList, RefusesMalformedAndUnsafeInput)
{
    const std::string valid =
        Document("<dict><key>a</key><array><integer>1</integer><string>x</string></array></dict>");
    struct Case {
        const char* name;
        std::string xml;
    } cases[] = {
        {"empty", ""},
        {"neither format", "hello world"},
        {"cut in a tag", valid.substr(0, valid.find("<integer>") + 4)},
        {"cut in text", valid.substr(0, valid.find("<string>") + 9)},
        {"cut before the end", valid.substr(0, valid.size() - 10)},
        {"unclosed dict", Document("<dict><key>a</key><string>x</string>")},
        {"mismatched close", Document("<array><string>x</array>")},
        {"array cut after values",
         Document("<array><string>x</string><integer>1</integer><dict><key>k</key><real>2</real></dict>")},
        {"key without value", Document("<dict><key>a</key></dict>")},
        {"value without key", Document("<dict><string>x</string></dict>")},
        {"unknown element", Document("<dict><key>a</key><float>1</float></dict>")},
        {"element inside string", Document("<string>a<b/>c</string>")},
        {"bad Base64 character", Document("<data>AA*A</data>")},
        {"bad Base64 length", Document("<data>AAAAA</data>")},
        {"Base64 after padding", Document("<data>AA==AA</data>")},
        {"entity declaration",
         "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY x \"boom\">]><plist><string>&x;</string></plist>"},
        {"bare entity declaration", "<!ENTITY x SYSTEM \"file:///etc/passwd\"><plist><string>&x;</string></plist>"},
        {"unknown entity", Document("<string>&nbsp;</string>")},
        {"bad character reference", Document("<string>&#xD800;</string>")},
        {"integer overflow", Document("<integer>9223372036854775808</integer>")},
        {"negative overflow", Document("<integer>-9223372036854775809</integer>")},
        {"huge integer", Document("<integer>123456789012345678901234567890</integer>")},
        {"not an integer", Document("<integer>12abc</integer>")},
        {"empty integer", Document("<integer></integer>")},
        {"not a real", Document("<real>1.5.5</real>")},
        {"bad date", Document("<date>2011-13-01T00:00:00Z</date>")},
        {"text in true", Document("<true>yes</true>")},
        {"invalid UTF-8", Document("<string>\xC3\x28</string>")},
        {"text after the end", valid + "<string>again</string>"},
        {"two roots", Document("<string>a</string><string>b</string>")},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"EBCDIC\"?><plist><string>x</string></plist>"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto result = ParsePropertyList(c.xml, kCFPropertyListImmutable, &error);
        EXPECT_FALSE(result) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    EXPECT_TRUE(ParsePropertyList(valid));
}

// A reason quotes what it refuses, cut short: a 64 MB tag name gives a
// reason of a line, not of 64 MB.
TEST(CFPropertyList, RefusalsQuoteOnlyTheStartOfAHugeName)
{
    const std::string huge(64 << 20, 'x');
    for (const std::string& xml : {Document("<" + huge + "/>"), Document("<string>&" + huge + ";</string>"),
                                   Document("<string>a<" + huge + "/></string>")}) {
        std::string error;
        EXPECT_FALSE(ParsePropertyList(xml, kCFPropertyListImmutable, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_LT(error.size(), 400u) << error.substr(0, 300);
    }
}

TEST(CFPropertyList, DeepNestingIsRefusedWithoutOverflowingTheStack)
{
    std::string deep = "<plist>";
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    std::string error;
    EXPECT_FALSE(ParsePropertyList(deep, kCFPropertyListImmutable, &error));
    EXPECT_NE(error.find("nesting"), std::string::npos) << error;

    std::string allowed = "<plist>";
    for (int i = 0; i < 500; ++i)
        allowed += "<array>";
    for (int i = 0; i < 500; ++i)
        allowed += "</array>";
    allowed += "</plist>";
    EXPECT_TRUE(ParsePropertyList(allowed));
}

TEST(CFPropertyList, DeepCopyIsIndependent)
{
    auto tree = SampleTree();
    CFRef<CFTypeRef> copy(CFPropertyListCreateDeepCopy(nullptr, tree, kCFPropertyListMutableContainersAndLeaves));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(CFEqual(copy, tree));
    auto objects = static_cast<CFArrayRef>(
        CFDictionaryGetValue(static_cast<CFDictionaryRef>(copy.get()), CFSTR("system.objects")));
    auto child = static_cast<CFMutableDictionaryRef>(const_cast<void*>(CFArrayGetValueAtIndex(objects, 0)));
    CFDictionarySetValue(child, CFSTR("changed"), kCFBooleanTrue);
    EXPECT_FALSE(CFEqual(copy, tree)) << "the original's nested dictionary is not shared";
}
