#include <CFTestSupport.h>
#include <ExitLineCheck.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TObjectRef.h>

#include <CarbonCore/MacMemory.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A named element that archives its name and counts its deallocations.
class TItem : public TObject {
    BRINDLET_CLASS(TItem, TObject)

public:
    static TItem* Create(const std::string& name)
    {
        TItem* item = CreateInstance<TItem>();
        item->name = name;
        return item;
    }
    void Deallocate() override
    {
        ++deallocations;
        Inherited::Deallocate();
    }
    bool Equal(const void* other) override
    {
        auto* that = static_cast<const TObject*>(other);
        return MemberOfClass(that, StaticClass()) && static_cast<const TItem*>(that)->name == name;
    }
    void EncodeData(TArchiver* archiver) override
    {
        Inherited::EncodeData(archiver);
        archiver->SetStringValue("name", ShortString(name));
    }
    void DecodeData(TArchiver* archiver) override
    {
        Inherited::DecodeData(archiver);
        name = archiver->GetStringValue("name").ToString();
    }

    static inline int deallocations = 0;
    std::string name;
};
BRINDLET_DEFINE_CLASS(TItem, TObject)

// Never archived by its owner.
class TPrivateItem : public TItem {
    BRINDLET_CLASS(TPrivateItem, TItem)

public:
    static TPrivateItem* Create() { return CreateInstance<TPrivateItem>(); }
    bool AllowArchiving() override { return false; }
};
BRINDLET_DEFINE_CLASS(TPrivateItem, TItem)

// Archived, but no unit registers it.
class TUnknownItem : public TItem {
    BRINDLET_CLASS(TUnknownItem, TItem)

public:
    static TUnknownItem* Create() { return CreateInstance<TUnknownItem>(); }
};
BRINDLET_DEFINE_CLASS(TUnknownItem, TItem)

// Leaves the list that holds it when it goes, the way a child leaves its
// parent's list of children.
class TMember : public TItem {
    BRINDLET_CLASS(TMember, TItem)

public:
    static TMember* Create(TArray* owner)
    {
        TMember* member = CreateInstance<TMember>();
        member->owner = owner;
        owner->AppendValue(member);
        member->Release();
        return member;
    }
    void Deallocate() override
    {
        owner->RemoveValue(this);
        Inherited::Deallocate();
    }
    TArray* owner = nullptr;
};
BRINDLET_DEFINE_CLASS(TMember, TItem)

// Platform strings sorted by length through the list's own hook.
class TByLength : public TTypeArray {
    BRINDLET_CLASS(TByLength, TTypeArray)

public:
    static TByLength* Create() { return NewList<TByLength>(); }
    SInt32 HandleSort(const void* a, const void* b) override
    {
        return static_cast<SInt32>(CFStringGetLength(static_cast<CFStringRef>(a)) -
                                   CFStringGetLength(static_cast<CFStringRef>(b)));
    }
};
BRINDLET_DEFINE_CLASS(TByLength, TTypeArray)

// The texts of a list of strings, or the names of a list of items.
std::string Texts(const TArray* list)
{
    std::string text;
    for (void* value : *list)
        text += UTF8Of(static_cast<CFStringRef>(value));
    return text;
}

std::string Names(const TArray* list)
{
    std::string text;
    for (void* value : *list)
        text += static_cast<TItem*>(value)->name;
    return text;
}

TTypeArray* Letters(const char* letters)
{
    TTypeArray* list = TTypeArray::Create();
    for (const char* c = letters; *c; ++c)
        list->AppendValue(CFSTR(std::string_view(c, 1)));
    return list;
}

class TArrayTest : public testing::Test {
protected:
    void SetUp() override
    {
        static bool registered = false;
        if (!registered) {
            registered = true;
            RegisterClass(TItem::StaticClass());
        }
        TItem::deallocations = 0;
    }
};

}  // namespace

TEST_F(TArrayTest, EditingByIndex)
{
    auto list = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create());
    EXPECT_EQ(list->Limit(), -1);
    EXPECT_EQ(list->GetFirstValue(), nullptr);
    EXPECT_EQ(list->GetLastValue(), nullptr);
    EXPECT_FALSE(list->Enumerate());
    list->Reverse();
    list->AppendValue(nullptr);
    list->RemoveFirst();
    EXPECT_EQ(list->Count(), 0);

    list->AppendValue(CFSTR("b"));
    list->InsertValue(0, CFSTR("a"));
    list->InsertValue(2, CFSTR("d"));
    list->InsertValue(2, CFSTR("c"));
    EXPECT_EQ(Texts(list), "abcd");
    list->ExchangeValues(0, 3);
    EXPECT_EQ(Texts(list), "dbca");
    list->Reverse();
    EXPECT_EQ(Texts(list), "acbd");

    // Identity for GetIndex and RemoveValue; the platform's equality for ContainsValue.
    auto equalText = MakeString("c");
    EXPECT_EQ(list->GetIndex(CFSTR("c")), 1);
    EXPECT_EQ(list->GetIndex(equalText), -1);
    EXPECT_TRUE(list->ContainsValue(equalText));
    EXPECT_FALSE(list->ContainsValue(nullptr));
    list->RemoveValue(equalText);
    EXPECT_EQ(Texts(list), "acbd");
    list->RemoveValue(CFSTR("c"));
    list->RemoveFirst();
    list->RemoveLast();
    EXPECT_EQ(Texts(list), "b");

    // Indices outside the list change nothing.
    Diagnostics::Capture capture;
    list->Remove(1);
    list->Remove(-1);
    list->InsertValue(3, CFSTR("x"));
    list->ExchangeValues(0, 1);
    EXPECT_EQ(list->GetValue(1), nullptr);
    EXPECT_EQ(list->GetValue(-1), nullptr);
    EXPECT_EQ(Texts(list), "b");

    TTypeArray* more = Letters("xy");
    list->AppendArray(more);
    list->AppendArray(nullptr);
    EXPECT_EQ(Texts(list), "bxy");
    list->RemoveAll();
    EXPECT_EQ(list->Count(), 0);
    more->Release();
}

TEST_F(TArrayTest, ReorderMovesOneElementAndKeepsCounts)
{
    const struct {
        SInt32 from, to;
        const char* expected;
    } cases[] = {
        {0, 3, "bca"},
        {0, 2, "bca"},
        {2, 0, "cab"},
        {1, 1, "abc"},
        {0, 1, "bac"},
        // outside the list: nothing moves
        {0, 4, "abc"},
        {3, 0, "abc"},
        {-1, 0, "abc"},
        {0, -1, "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        TItem* items[] = {TItem::Create("a"), TItem::Create("b"), TItem::Create("c")};
        auto list = TObjectRef<TObjectArray>::Adopt(TObjectArray::Create({items[0], items[1], items[2]}));
        list->Reorder(c.from, c.to);
        EXPECT_EQ(Names(list), c.expected);
        for (TItem* item : items) {
            EXPECT_EQ(item->GetRetainCount(), 2);
            item->Release();
        }
        list.Reset();
        EXPECT_EQ(TItem::deallocations, 3);
        TItem::deallocations = 0;
    }

    // A block in a pointer list is moved, never disposed of.
    Ptr blocks[] = {NewPtr(1), NewPtr(2), NewPtr(3)};
    auto owned = TObjectRef<TPointerArray>::Adopt(TPointerArray::Create({blocks[0], blocks[1], blocks[2]}));
    owned->Reorder(0, 3);
    EXPECT_EQ(owned->GetValue(2), blocks[0]);
    for (Ptr block : blocks)
        EXPECT_TRUE(IsPointerValid(block));
}

TEST_F(TArrayTest, ObjectListsHoldOneReferencePerElement)
{
    TItem* a = TItem::Create("a");
    auto b = TObjectRef<TItem>::Adopt(TItem::Create("b"));
    auto list = TObjectRef<TObjectArray>::Adopt(TObjectArray::Create({a, nullptr, b}));
    EXPECT_EQ(list->Count(), 2) << "nil is skipped";
    a->Release();
    EXPECT_EQ(a->GetRetainCount(), 1) << "the list holds the only reference";

    TItem* lookalike = TItem::Create("b");
    EXPECT_TRUE(list->ContainsValue(lookalike)) << "the element's Equal decides";
    EXPECT_EQ(list->GetIndex(lookalike), -1) << "GetIndex asks for the same object";
    lookalike->Release();

    auto copy = TObjectRef<TObjectArray>::Adopt(static_cast<TObjectArray*>(list->Copy()));
    auto second = TObjectRef<TObjectArray>::Adopt(TObjectArray::Create(list));
    EXPECT_EQ(Names(copy), "ab");
    EXPECT_EQ(Names(second), "ab");
    EXPECT_EQ(b->GetRetainCount(), 4);
    copy.Reset();
    second.Reset();

    list->RemoveFirst();
    EXPECT_EQ(TItem::deallocations, 2) << "a went with its last reference (and the lookalike)";
    list.Reset();
    EXPECT_EQ(b->GetRetainCount(), 1);
    b.Reset();
}

TEST_F(TArrayTest, ElementsMayLeaveTheListThatFreesThem)
{
    auto list = TObjectRef<TObjectArray>::Adopt(TObjectArray::Create());
    for (int i = 0; i < 3; ++i)
        TMember::Create(list);
    Diagnostics::Capture capture;
    list.Reset();
    EXPECT_EQ(TItem::deallocations, 3) << "each element freed once";
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(TArrayTest, TypedValues)
{
    auto list = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create());
    list->AppendIntegerValue(-7);
    const double stored = 2.25;
    list->AppendDataValue(sizeof stored, &stored);
    list->AppendValue(CFSTR("42"));
    const Float32 inexact = 2.5f, exact = 3.0f;
    list->AppendValue(CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberFloat32Type, &inexact)));
    list->AppendValue(CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberFloat32Type, &exact)));

    const struct {
        SInt32 index;
        SInt32 integer;
        const char* text;
    } cases[] = {{0, -7, ""}, {1, 0, ""}, {2, 0, "42"}, {3, 0, ""}, {4, 3, ""}, {5, -1, ""}, {-1, -1, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(list->GetIntegerValue(c.index), c.integer);
        EXPECT_EQ(list->GetStringValue(c.index), c.text);
    }

    double read = 0;
    EXPECT_TRUE(list->GetDataValue(1, &read));
    EXPECT_EQ(read, 2.25);
    float tooSmall = 0;
    char tooLarge[16] = {};
    EXPECT_FALSE(list->GetDataValue(1, &tooSmall));
    EXPECT_FALSE(list->GetDataValue(1, tooLarge, sizeof tooLarge));
    EXPECT_FALSE(list->GetDataValue(0, &read)) << "a number is not data";
    EXPECT_FALSE(list->GetDataValue(9, &read));
}

TEST_F(TArrayTest, CopiesOfPlatformListsAndOfLists)
{
    auto source = CFRef<CFMutableArrayRef>(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(source, CFSTR("a"));
    auto list = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create(source.get()));
    list->AppendValue(CFSTR("b"));
    EXPECT_EQ(CFArrayGetCount(source), 1) << "the platform list is copied, not changed";
    EXPECT_EQ(Texts(list), "ab");

    auto fromNothing = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create(static_cast<const TArray*>(nullptr)));
    auto fromNil = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create(static_cast<CFArrayRef>(nullptr)));
    EXPECT_EQ(fromNothing->Count() + fromNil->Count(), 0);
    fromNothing->AppendValue(CFSTR("usable"));
    EXPECT_EQ(fromNothing->Count(), 1);
    fromNothing.Reset();
    fromNil.Reset();
    list.Reset();
}

TEST_F(TArrayTest, PointerListsOwnTheirBlocksAndCopiesOwnCopies)
{
    Diagnostics::Capture capture;
    Ptr first = NewPtr(16);
    Ptr second = NewPtr(4);
    std::snprintf(first, 16, "first block");
    auto owner = TObjectRef<TPointerArray>::Adopt(TPointerArray::Create({first, second}));
    EXPECT_NE(DescriptionOf(owner->CFType()).find("pointer 16 bytes"), std::string::npos);

    auto copy = TObjectRef<TPointerArray>::Adopt(TPointerArray::Create(owner));
    auto* copied = static_cast<Ptr>(copy->GetValue(0));
    EXPECT_NE(copied, first);
    EXPECT_STREQ(copied, "first block");
    EXPECT_EQ(GetPtrSize(copied), 16);

    TWeakPointerArray* weak = TWeakPointerArray::Create(owner);
    EXPECT_EQ(weak->GetValue(0), first);
    weak->Release();
    EXPECT_TRUE(IsPointerValid(first)) << "a weak list disposes of nothing";

    owner->RemoveLast();
    EXPECT_FALSE(IsPointerValid(second));
    owner.Reset();
    EXPECT_FALSE(IsPointerValid(first));
    EXPECT_TRUE(IsPointerValid(copied)) << "the copy owns blocks of its own";
    copy.Reset();
    EXPECT_TRUE(capture.Lines().empty()) << "no block was disposed of twice";
}

TEST_F(TArrayTest, BuiltInEnumeration)
{
    TTypeArray* list = Letters("abc");
    for (int round = 0; round < 2; ++round) {
        std::string seen;
        while (list->Enumerate())
            seen += UTF8Of(static_cast<CFStringRef>(list->GetNextValue()));
        EXPECT_EQ(seen, "abc") << "each full walk starts again at the first element";
    }
    ASSERT_TRUE(list->Enumerate());
    list->ResetEnumeration();
    ASSERT_TRUE(list->Enumerate());
    EXPECT_EQ(list->GetNextValue(), CFSTR("a"));
    list->Release();
}

TEST_F(TArrayTest, NestedForInWalksAndForIndex)
{
    TTypeArray* outer = Letters("ab");
    TTypeArray* inner = Letters("xyz");
    std::vector<std::string> visits;
    for (void* o : *outer) {
        const SInt32 outerIndex = ForIndex();
        for (void* i : *inner)
            visits.push_back(UTF8Of(static_cast<CFStringRef>(o)) + std::to_string(outerIndex) +
                             UTF8Of(static_cast<CFStringRef>(i)) + std::to_string(ForIndex()));
    }
    EXPECT_EQ(visits, (std::vector<std::string>{"a0x0", "a0y1", "a0z2", "b1x0", "b1y1", "b1z2"}));

    auto empty = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create());
    for (void* value : *empty)
        ADD_FAILURE() << value;
    empty.Reset();
    outer->Release();
    inner->Release();
}

TEST_F(TArrayTest, ForInWalksWhileTheListChanges)
{
    // The walk goes on through the live list by index: removing the current
    // element skips the one that moves into its place; added elements are
    // reached; removing everything ends the walk.
    const struct {
        const char* name;
        void (*edit)(TTypeArray* list, void* value);
        const char* visited;
        const char* left;
    } cases[] = {
        {"remove current", [](TTypeArray* l, void* v) { l->RemoveValue(v); }, "ac", "bd"},
        {"append once",
         [](TTypeArray* l, void* v) {
             if (v == CFSTR("a"))
                 l->AppendValue(CFSTR("e"));
         },
         "abcde", "abcde"},
        {"remove all", [](TTypeArray* l, void*) { l->RemoveAll(); }, "a", ""},
        {"remove later",
         [](TTypeArray* l, void* v) {
             if (v == CFSTR("b")) {
                 l->RemoveLast();
                 l->RemoveLast();
             }
         },
         "ab", "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TTypeArray* list = Letters("abcd");
        std::string visited;
        for (void* value : *list) {
            visited += UTF8Of(static_cast<CFStringRef>(value));
            c.edit(list, value);
        }
        EXPECT_EQ(visited, c.visited);
        EXPECT_EQ(Texts(list), c.left);
        list->Release();
    }
}

TEST_F(TArrayTest, Sorting)
{
    auto list = TObjectRef<TTypeArray>::Adopt(TTypeArray::Create({CFSTR("pear"), CFSTR("fig"), CFSTR("apple")}));
    list->Sort([](const void* a, const void* b,
                  void*) { return CFStringCompare(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b), 0); },
               nullptr);
    EXPECT_EQ(Texts(list), "applefigpear");
    list->Sort();
    EXPECT_EQ(Texts(list), "applefigpear") << "TArray's HandleSort calls everything equal";
    list.Reset();

    auto byLength = TObjectRef<TByLength>::Adopt(TByLength::Create());
    for (CFStringRef s : {CFSTR("ccc"), CFSTR("a"), CFSTR("bb"), CFSTR("d")})
        byLength->AppendValue(s);
    byLength->Sort();
    EXPECT_EQ(Texts(byLength), "adbbccc");
    byLength.Reset();
}

TEST_F(TArrayTest, ObjectListsArchiveTheirElementsInOrder)
{
    EXPECT_EQ(FindClass("TObjectArray"), &TObjectArray::StaticClass());
    TObjectArray* list = TObjectArray::Create();
    TObject* elements[] = {TItem::Create("one"), TPrivateItem::Create(), TItem::Create("two"), TUnknownItem::Create(),
                           TItem::Create("three")};
    for (TObject* element : elements) {
        list->AppendValue(element);
        element->Release();
    }
    auto archive = TObjectRef<TArchiver>::Adopt(list->CopyArchive());
    list->Release();
    EXPECT_EQ(archive->GetStringValue("system.class"), "TObjectArray");
    EXPECT_EQ(archive->Limit(), 3) << "the private item is not archived";

    Diagnostics::Capture capture;
    auto* rebuilt = AllocateFromArchiveAs<TObjectArray>(archive, nullptr);
    archive.Reset();
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Warning: The class TUnknownItem is not registered.",
                                                         "Warning: The class TUnknownItem is not registered."}));
    EXPECT_EQ(Names(rebuilt), "onetwothree");
    for (void* element : *rebuilt) {
        EXPECT_EQ(static_cast<TObject*>(element)->GetRetainCount(), 1);
        EXPECT_TRUE(static_cast<TObject*>(element)->DidInitializeFromArchive());
    }
    TItem::deallocations = 0;
    rebuilt->Release();
    EXPECT_EQ(TItem::deallocations, 3) << "the list held the only references";
}

TEST_F(TArrayTest, TheAbstractConstructorEndsTheProgram)
{
    EXPECT_EXIT(
        {
            ExpectOnlyLineAtExit("Warning: Called an abstract TArray constructor.");
            TArray::Create();
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            ExpectOnlyLineAtExit("Warning: Called an abstract TArray constructor.");
            TArray::CreateWithClass(TArray::StaticClass());
        },
        testing::ExitedWithCode(0), "");
}
