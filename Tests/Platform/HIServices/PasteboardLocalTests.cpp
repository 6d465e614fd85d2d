// The Pasteboard Manager's rules, on pasteboards of this process: this
// program has no QGuiApplication, so the clipboard is the process's own
// stand-in too.
#include "PasteboardTestSupport.h"

#include <CarbonCore/MacErrors.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Summary = std::vector<std::string>;

TEST(PasteboardLocal, PutsGoToTheirItemsInOrderAndReadBackExactly)
{
    CFRef<PasteboardRef> pasteboard = MakePasteboard(kPasteboardUniqueName);
    ASSERT_TRUE(pasteboard);
    EXPECT_EQ(CFGetTypeID(pasteboard), PasteboardGetTypeID());
    ASSERT_EQ(PasteboardClear(pasteboard), noErr);

    const std::string binary("card\0data", 9);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(7), CFSTR("public.utf8-plain-text"), MakeData("note"), 0),
              noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(3), CFSTR("public.png"), MakeData("png"), 0), noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(7), CFSTR("com.example.card"), MakeData(binary),
                                      kPasteboardFlavorSenderOnly | kPasteboardFlavorNotSaved),
              noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(7), CFSTR("public.empty"), MakeData(""), 0), noErr);

    const auto items = ItemsOf(pasteboard);
    ASSERT_EQ(items.size(), 2u) << "puts with the same identifier share one item";
    EXPECT_EQ(items[0].id, ItemID(7));
    EXPECT_EQ(items[0].flavors, (Summary{"public.utf8-plain-text", "com.example.card", "public.empty"}));
    EXPECT_EQ(items[1].id, ItemID(3));
    EXPECT_EQ(items[1].flavors, Summary{"public.png"});

    OSStatus status = 0;
    EXPECT_EQ(FlavorBytes(pasteboard, ItemID(7), "com.example.card", &status), binary);
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(FlavorBytes(pasteboard, ItemID(7), "PUBLIC.UTF8-PLAIN-TEXT", &status), "note")
        << "types compare without regard to case";
    EXPECT_EQ(FlavorBytes(pasteboard, ItemID(7), "public.empty", &status), "");
    EXPECT_EQ(status, noErr);

    PasteboardFlavorFlags flags = 0;
    EXPECT_EQ(PasteboardGetItemFlavorFlags(pasteboard, ItemID(7), CFSTR("com.example.card"), &flags), noErr);
    EXPECT_EQ(flags, kPasteboardFlavorSenderOnly | kPasteboardFlavorNotSaved);
}

TEST(PasteboardLocal, StatusCodes)
{
    CFRef<PasteboardRef> pasteboard = MakePasteboard(kPasteboardUniqueName);
    CFRef<CFDataRef> data = MakeData("x");

    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.data"), data, 0), notPasteboardOwnerErr)
        << "no put before a Clear";
    ASSERT_EQ(PasteboardClear(pasteboard), noErr);
    ASSERT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.data"), data, 0), noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("PUBLIC.DATA"), MakeData("y"), 0),
              duplicatePasteboardFlavorErr);
    EXPECT_EQ(FlavorBytes(pasteboard, ItemID(1), "public.data"), "x") << "a refused put changes nothing";
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.text"), nullptr, 0),
              noPasteboardPromiseKeeperErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, nullptr, CFSTR("public.text"), data, 0), paramErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR(""), data, 0), paramErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), nullptr, data, 0), paramErr);
    EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.text"),
                                      reinterpret_cast<CFDataRef>(CFSTR("not data")), 0),
              paramErr);

    PasteboardItemID item = ItemID(99);
    for (CFIndex index : {CFIndex(0), CFIndex(2), CFIndex(-1)}) {
        EXPECT_EQ(PasteboardGetItemIdentifier(pasteboard, index, &item), badPasteboardIndexErr) << index;
        EXPECT_EQ(item, nullptr);
    }
    CFArrayRef flavors = reinterpret_cast<CFArrayRef>(CFSTR("junk"));
    EXPECT_EQ(PasteboardCopyItemFlavors(pasteboard, ItemID(2), &flavors), badPasteboardItemErr);
    EXPECT_EQ(flavors, nullptr);
    CFDataRef copied = MakeData("junk").release();
    CFRef<CFDataRef> junk(copied);
    EXPECT_EQ(PasteboardCopyItemFlavorData(pasteboard, ItemID(2), CFSTR("public.data"), &copied), badPasteboardItemErr);
    EXPECT_EQ(copied, nullptr);
    EXPECT_EQ(PasteboardCopyItemFlavorData(pasteboard, ItemID(1), CFSTR("public.png"), &copied),
              badPasteboardFlavorErr);
    PasteboardFlavorFlags flags = 0;
    EXPECT_EQ(PasteboardGetItemFlavorFlags(pasteboard, ItemID(1), CFSTR("public.png"), &flags), badPasteboardFlavorErr);

    // Anything that is not a pasteboard, and missing out-parameters.
    auto notAPasteboard = reinterpret_cast<PasteboardRef>(const_cast<void*>(static_cast<const void*>(CFSTR("pb"))));
    for (PasteboardRef bad : {PasteboardRef(nullptr), notAPasteboard}) {
        ItemCount count = 5;
        EXPECT_EQ(PasteboardGetItemCount(bad, &count), paramErr);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(PasteboardClear(bad), paramErr);
        EXPECT_EQ(PasteboardSynchronize(bad), 0u);
        EXPECT_EQ(PasteboardPutItemFlavor(bad, ItemID(1), CFSTR("public.data"), data, 0), paramErr);
        EXPECT_EQ(PasteboardCopyItemFlavors(bad, ItemID(1), &flavors), paramErr);
    }
    EXPECT_EQ(PasteboardGetItemCount(pasteboard, nullptr), paramErr);
    EXPECT_EQ(PasteboardGetItemIdentifier(pasteboard, 1, nullptr), paramErr);
    EXPECT_EQ(PasteboardCopyItemFlavors(pasteboard, ItemID(1), nullptr), paramErr);
    EXPECT_EQ(PasteboardCopyItemFlavorData(pasteboard, ItemID(1), CFSTR("public.data"), nullptr), paramErr);
    EXPECT_EQ(PasteboardCreate(CFSTR("x"), nullptr), paramErr);
    PasteboardRef created = notAPasteboard;
    EXPECT_EQ(PasteboardCreate(reinterpret_cast<CFStringRef>(data.get()), &created), paramErr);
    EXPECT_EQ(created, nullptr);
}

TEST(PasteboardLocal, PutDataIsCopied)
{
    CFRef<PasteboardRef> pasteboard = MakePasteboard(kPasteboardUniqueName);
    ASSERT_EQ(PasteboardClear(pasteboard), noErr);
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFDataAppendBytes(data, reinterpret_cast<const UInt8*>("before"), 6);
    ASSERT_EQ(PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.data"), data, 0), noErr);
    CFDataAppendBytes(data, reinterpret_cast<const UInt8*>(" and after"), 10);
    EXPECT_EQ(FlavorBytes(pasteboard, ItemID(1), "public.data"), "before");
}

TEST(PasteboardLocal, OwnershipMovesWithClearAndSynchronizeReportsIt)
{
    CFRef<PasteboardRef> first = MakePasteboard(CFSTR("com.example.pasteboard.shared"));
    CFRef<PasteboardRef> second = MakePasteboard(CFSTR("com.example.pasteboard.shared"));
    EXPECT_EQ(PasteboardSynchronize(first), 0u) << "a new reference has seen everything and owns nothing";

    ASSERT_EQ(PasteboardClear(first), noErr);
    ASSERT_EQ(PasteboardPutItemFlavor(first, ItemID(1), CFSTR("public.data"), MakeData("first"), 0), noErr);
    EXPECT_EQ(PasteboardSynchronize(first), kPasteboardClientIsOwner);
    EXPECT_EQ(PasteboardPutItemFlavor(second, ItemID(1), CFSTR("public.text"), MakeData("second"), 0),
              notPasteboardOwnerErr);
    EXPECT_EQ(FlavorBytes(second, ItemID(1), "public.data"), "first") << "every reference of a name sees the same";
    EXPECT_EQ(PasteboardSynchronize(second), kPasteboardModified);
    EXPECT_EQ(PasteboardSynchronize(second), 0u) << "modified only once per change";

    ASSERT_EQ(PasteboardClear(second), noErr);
    EXPECT_EQ(PasteboardPutItemFlavor(first, ItemID(1), CFSTR("public.text"), MakeData("late"), 0),
              notPasteboardOwnerErr)
        << "the earlier owner lost the pasteboard";
    EXPECT_TRUE(ItemsOf(first).empty());
    EXPECT_EQ(PasteboardSynchronize(first), kPasteboardModified);
    EXPECT_EQ(PasteboardSynchronize(second), kPasteboardClientIsOwner);
}

TEST(PasteboardLocal, PasteboardsOfDifferentNamesAndUniqueOnesAreApart)
{
    CFRef<PasteboardRef> find = MakePasteboard(kPasteboardFind);
    CFRef<PasteboardRef> uniqueA = MakePasteboard(kPasteboardUniqueName);
    CFRef<PasteboardRef> uniqueB = MakePasteboard(kPasteboardUniqueName);
    ASSERT_EQ(PasteboardClear(uniqueA), noErr);
    ASSERT_EQ(PasteboardPutItemFlavor(uniqueA, ItemID(1), CFSTR("public.data"), MakeData("a"), 0), noErr);
    EXPECT_TRUE(ItemsOf(uniqueB).empty());
    EXPECT_TRUE(ItemsOf(find).empty());
}

TEST(PasteboardLocal, ClipboardWithoutApplicationKeepsWhatWasCopied)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    {
        CFRef<PasteboardRef> copying = MakePasteboard(kPasteboardClipboard);
        ASSERT_EQ(PasteboardClear(copying), noErr);
        ASSERT_EQ(PasteboardPutItemFlavor(copying, ItemID(1), CFSTR("public.utf8-plain-text"), MakeData("copied"), 0),
                  noErr);
    }
    // Pasting happens later, through a new reference.
    CFRef<PasteboardRef> pasting = MakePasteboard(kPasteboardClipboard);
    ASSERT_EQ(ItemsOf(pasting).size(), 1u);
    EXPECT_EQ(FlavorBytes(pasting, ItemID(1), "public.utf8-plain-text"), "copied");

    // A background thread reaches the same stand-in.
    std::string seen;
    std::thread([&] {
        CFRef<PasteboardRef> other = MakePasteboard(kPasteboardClipboard);
        seen = FlavorBytes(other, ItemID(1), "public.utf8-plain-text");
    }).join();
    EXPECT_EQ(seen, "copied");
}

TEST(PasteboardLocal, DescriptionNamesThePasteboard)
{
    CFRef<PasteboardRef> named = MakePasteboard(CFSTR("com.example.described"));
    EXPECT_NE(DescriptionOf(named).find("com.example.described"), std::string::npos) << DescriptionOf(named);
}

}  // namespace

// ---- known gaps ----

TEST(PasteboardLocal, PromisedData)
{
    CFRef<PasteboardRef> pasteboard = MakePasteboard(kPasteboardUniqueName);
    ASSERT_EQ(PasteboardClear(pasteboard), noErr);
    if (PasteboardPutItemFlavor(pasteboard, ItemID(1), CFSTR("public.text"), nullptr, kPasteboardFlavorPromised) ==
        noPasteboardPromiseKeeperErr)
        GTEST_SKIP() << "Known gap: the pasteboard has no promised data; a flavour is put with its bytes or not at "
                        "all (nil data answers noPasteboardPromiseKeeperErr)";
    ADD_FAILURE() << "a promise was taken: the gap is closed, so test the promise keeper here and drop the README "
                     "entry";
}
