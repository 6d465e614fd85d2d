// The archive of task rows: the keys of the sheet file, read back by an
// independent property-list reader, and what a damaged archive reads as.
#include "TaskTestSupport.h"

#include "ArchiveCheck.h"

#include <Shared/BrindletShared.h>

#include <Units/Classes/TArchiverUnit.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <FileFixtures.h>

#include <fcntl.h>

#include <optional>
#include <string>

namespace {

using TaskArchiveTest = TaskFixture;

// A row decoded from a one-row archive of the given keys, as a card decodes
// it (the card is the archive's context); the caller owns it.
TTask* DecodeRow(CFDictionaryRef keys, TTestCard* card)
{
    TArchiver* archiver = TArchiver::CreateWithDictionary(keys);
    archiver->SetStringValue("system.class", "TTask");
    archiver->SetContext(card);
    TTask* task = AllocateFromArchiveAs<TTask>(archiver, static_cast<void*>(nullptr));
    archiver->Release();
    return task;
}

CFDictionaryRef Keys(std::initializer_list<std::pair<CFStringRef, CFTypeRef>> pairs)
{
    CFMutableDictionaryRef keys =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : pairs)
        CFDictionarySetValue(keys, key, value);
    return keys;
}

std::string DateText(const NSDate* date)
{
    CFRef<CFStringRef> text(brindlet::CopyTaskDateText(date));
    return CFStringToUTF8(text);
}

}  // namespace

TEST_F(TaskArchiveTest, AHandWrittenTreeComesBackWithEveryKeyKindAndValue)
{
    ScratchFolder folder;
    const std::string original = std::string(BRINDLET_FIXTURES_DIR) + "/Tasks/ThreeDeepRows.plist";
    folder.Write("copy.plist", "");

    TArchiver* in = TArchiver::CreateWithFile(FSGetPathRef(ShortString(original)));
    ASSERT_EQ(in->Load(), 0);
    in->SetContext(card_.get());
    TObjectRef<TTaskOutline> outline =
        TObjectRef<TTaskOutline>::Adopt(AllocateFromArchiveAs<TTaskOutline>(in, static_cast<void*>(nullptr)));
    in->Release();
    ASSERT_TRUE(outline);

    // The tree as rows: three deep, owned by the decoding card.
    TTask* root = outline->GetRootTask();
    ASSERT_EQ(root->GetChildCount(), 1);
    TTask* a = root->GetChildAtIndex(0);
    ASSERT_EQ(a->GetChildCount(), 1);
    TTask* b = a->GetChildAtIndex(0);
    ASSERT_EQ(b->GetChildCount(), 1);
    TTask* c = b->GetChildAtIndex(0);
    EXPECT_EQ(outline->GetOwner(), card_.get());
    EXPECT_EQ(c->GetOwner(), card_.get());
    EXPECT_EQ(TextOf(a), "Plan the launch");
    EXPECT_EQ(TextOf(b), "Book the h\u00e4ll \u2014 caf\u00e9");
    EXPECT_TRUE(b->IsCompleted());
    EXPECT_EQ(b->GetStyle().priority, 7);
    EXPECT_EQ(DateText(b->GetEndedDate()), "2026-11-29 11:30:00 +0000");
    EXPECT_EQ(DateText(a->GetStartedDate()), "2026-12-02 08:00:00 +0000");

    TArchiver* out = TArchiver::Create();
    outline->EncodeData(out);
    EXPECT_EQ(out->Save(folder.Ref("copy.plist")), 0);
    out->Release();

    const auto [status, report] = RunArchiveCheck(original, folder / "copy.plist");
    EXPECT_EQ(status, 0) << report;
}

TEST_F(TaskArchiveTest, ArchivedDateTextsReadBackOnlyInTheirOwnForm)
{
    struct Case {
        const char* text;
        std::optional<double> unixSeconds;
    } cases[] = {
        {"2026-12-24 17:30:00 +0000", 1798133400},
        {"2026-12-24 18:30:00 +0100", 1798133400},
        {"2026-12-24 12:00:00 -0530", 1798133400},
        {"2024-02-29 00:00:00 +0000", 1709164800},
        {"2023-02-29 00:00:00 +0000", std::nullopt},
        {"2026-13-01 00:00:00 +0000", std::nullopt},
        {"2026-12-24 24:00:00 +0000", std::nullopt},
        {"2026-12-24 17:30:00", std::nullopt},
        {"2026-12-24T17:30:00Z", std::nullopt},
        {"2026-12-24 17:30:00 +00:00", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFStringRef> text(CFStringCreateWithUTF8(c.text));
        NSDate* date = brindlet::NewTaskDateFromText(text);
        ASSERT_EQ(date != nullptr, c.unixSeconds.has_value());
        if (date != nullptr) {
            EXPECT_EQ(date->timeIntervalSince1970(), *c.unixSeconds);
            date->release();
        }
    }
    const SInt32 number = 20261224;
    CFRef<CFNumberRef> notText(CFNumberCreate(nullptr, kCFNumberSInt32Type, &number));
    EXPECT_EQ(brindlet::NewTaskDateFromText(notText), nullptr);
    EXPECT_EQ(DateText(At(1798133400)), "2026-12-24 17:30:00 +0000");
}

TEST_F(TaskArchiveTest, MissingOrMistypedKeysReadAsDefaultsAndTheTextIsNeverNil)
{
    const SInt32 three = 3;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &three));
    struct Case {
        const char* name;
        CFRef<CFDictionaryRef> keys;
    } cases[] = {
        {"no keys", CFRef<CFDictionaryRef>(Keys({}))},
        {"keys of the wrong kinds",
         CFRef<CFDictionaryRef>(Keys({{CFSTR("text"), number.get()},
                                      {CFSTR("uuid"), CFSTR("not a uuid")},
                                      {CFSTR("timeStamp"), CFSTR("2026-12-01 00:00:00 +0000")},
                                      {CFSTR("notes"), CFSTR("notes as text")},
                                      {CFSTR("due"), number.get()},
                                      {CFSTR("dateStyle"), CFSTR("1")},
                                      {CFSTR("style.priority"), kCFBooleanTrue}}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TObjectRef<TTask> task = TObjectRef<TTask>::Adopt(DecodeRow(c.keys, card_.get()));
        ASSERT_TRUE(task);
        ASSERT_NE(task->GetText(), nullptr);
        EXPECT_EQ(TextOf(task), "");
        EXPECT_EQ(task->GetNotes(), nullptr);
        EXPECT_EQ(task->GetDueDate(), nullptr);
        EXPECT_EQ(task->GetDateStyle(), 0);
        EXPECT_EQ(task->GetStyle().priority, 0);
        ASSERT_NE(task->GetTimeStamp(), nullptr);
        EXPECT_EQ(CFDateGetAbsoluteTime(task->GetTimeStamp()), CFAbsoluteTimeGetCurrent());
        card_->Root()->Append(task);
        EXPECT_NE(task->GetUUID(), nullptr);

        // Written back, a row without reminder carries no reminder key.
        TArchiver* out = TArchiver::Create();
        out->SetStringValue("notificationDate", "left from before");
        task->EncodeData(out);
        EXPECT_FALSE(out->ContainsKey("notificationDate"));
        EXPECT_TRUE(out->ContainsKey("text"));
        out->Release();
    }
}

TEST_F(TaskArchiveTest, ADecodedRepeatingRowWhoseDateHasPassedAdvancesOnce)
{
    CFRef<CFStringRef> due(brindlet::CopyTaskDateText(At(Now() - 3 * 86400)));
    const SInt32 daily = BrindletShared::kRepeatDaily;
    CFRef<CFNumberRef> repeat(CFNumberCreate(nullptr, kCFNumberSInt32Type, &daily));
    CFRef<CFDictionaryRef> keys(Keys({{CFSTR("due"), due.get()}, {CFSTR("dateRepeat"), repeat.get()}}));
    TObjectRef<TTask> task = TObjectRef<TTask>::Adopt(DecodeRow(keys, card_.get()));
    ASSERT_TRUE(task && task->GetDueDate());
    EXPECT_EQ(task->GetDueDate()->timeIntervalSince1970(), Now() - 2 * 86400);
}
