// The base card's model: a new card, its archive in both directions (read
// back by an XML reader of the test's own), copies, identifiers, and the
// timers a card starts.
#include "CardTestSupport.h"

#include <CFTestSupport.h>
#include <CGTestSupport.h>

#include <Units/Classes/TDictionaryUnit.h>

#include <AppKit/NSColor.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFPropertyList.h>
#include <Support/Clock.h>

#include <QByteArray>
#include <QXmlStreamReader>

#include <map>
#include <string>

namespace {

// A card archive as a file written by hand would hold it.
std::string HandWrittenArchive(const std::string& extra)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>system.class</key><string>TTestCard</string>
  <key>timeStamp</key><date>2024-03-01T10:00:00Z</date>
  <key>recentSyncTime</key><date>2024-02-01T08:30:00Z</date>
  <key>tabEdge</key><integer>2</integer>
  <key>tabOpen</key><true/>
  <key>backgroundMode</key><integer>3</integer>
  <key>savedTabFrame.origin.x</key><real>10</real>
  <key>savedTabFrame.origin.y</key><real>20</real>
  <key>savedTabFrame.size.width</key><real>330</real>
  <key>savedTabFrame.size.height</key><real>340</real>
  <key>uuid</key><string>6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b</string>
  <key>title</key><string>Errands</string>
  <key>externalFile</key><string>/tmp/errands.brcard</string>
  <key>minimize</key><true/>
  <key>color.red</key><data>PwAAAA==</data>
  <key>color.green</key><data>PoAAAA==</data>
  <key>color.blue</key><data>P0AAAA==</data>
  <key>color.alpha</key><data>P4AAAA==</data>
  <key>frame.origin.x</key><data>QvAAAA==</data>
  <key>frame.origin.y</key><data>QqAAAA==</data>
  <key>frame.size.height</key><data>Q8gAAA==</data>
  <key>frame.size.width</key><data>Q6AAAA==</data>
  <key>cardImageKind</key><integer>0</integer>
)" + extra +
           R"(</dict>
</plist>
)";
}

TArchiver* ArchiverFromXML(const std::string& xml)
{
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()), CFIndex(xml.size())));
    CFRef<CFPropertyListRef> list(CFPropertyListCreateFromXMLData(nullptr, data.get(), 0, nullptr));
    if (!list || CFGetTypeID(list.get()) != CFDictionaryGetTypeID())
        return nullptr;
    return TArchiver::CreateWithDictionary(static_cast<CFDictionaryRef>(list.get()));
}

TTestCard* DecodeCard(TArchiver* archiver)
{
    return AllocateFromArchiveAs<TTestCard>(archiver, static_cast<void*>(nullptr));
}

// One value of the top dictionary as the XML names it: its element ("data",
// "integer", "true", ...) and its text.
struct PlistValue {
    std::string kind;
    std::string text;
};

// The keys of the top dictionary, read with Qt's XML reader (not the
// platform's property-list reader the archiver uses).
std::map<std::string, PlistValue> ReadTopDictionary(const QByteArray& xml)
{
    std::map<std::string, PlistValue> values;
    QXmlStreamReader reader(xml);
    int depth = 0;
    std::string key;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            // plist (1) > dict (2) > key and values (3).
            if (depth == 3 && reader.name() == QLatin1String("key")) {
                key = reader.readElementText().toStdString();
                --depth;
            } else if (depth == 3) {
                const std::string kind = reader.name().toString().toStdString();
                std::string text;
                if (kind != "dict" && kind != "array") {
                    text = reader.readElementText().toStdString();
                    --depth;
                }
                values[key] = PlistValue{kind, text};
            }
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return values;
}

std::string Hex(const QByteArray& bytes)
{
    return bytes.toHex().toStdString();
}

std::string UUIDText(CFUUIDRef uuid)
{
    CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, uuid));
    return UTF8Of(text.get());
}

}  // namespace

TEST_F(CardFixture, ANewCardIsUntitledBlueCentredAndAnnounced)
{
    const auto changes = TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));
    TTestCard* card = NewCard();
    EXPECT_EQ(UTF8Of(card->GetTitle()), "Untitled");
    const ATSURGBAlphaColor color = card->GetColor();
    EXPECT_FLOAT_EQ(color.red, 0);
    EXPECT_FLOAT_EQ(color.green, 0);
    EXPECT_FLOAT_EQ(color.blue, 1);
    EXPECT_FLOAT_EQ(color.alpha, 0.9f) << "the card opacity preference";
    const CGRect screen = TSpriteCanvas::MainScreenFrame();
    EXPECT_EQ(card->GetFrame().origin.x, std::trunc(screen.size.width / 2 - 150));
    EXPECT_EQ(card->GetFrame().origin.y, std::trunc(screen.size.height / 2 - 150));
    EXPECT_EQ(card->GetSize().width, 300);
    EXPECT_EQ(card->GetSize().height, 300);
    EXPECT_EQ(card->GetMinimumSize().width, 300);
    EXPECT_EQ(card->GetVerticalAxis(), 2147483648.0f);
    EXPECT_EQ(card->GetFrameInset().width, -12) << "room for the shadow";
    EXPECT_TRUE(card->IsFocused());
    EXPECT_TRUE(card->GetSupportsArchiving());
    ASSERT_NE(card->GetUUID(), nullptr);
    ASSERT_NE(card->GetTimeStamp(), nullptr);
    EXPECT_EQ(card->GetRecentSyncTime(), nullptr);
    EXPECT_EQ(changes->count, 1);

    // Random colours take their components from the random numbers.
    Prefs()->SetBooleanValue("TPreferences.randomColor", true);
    bool anyOther = false;
    for (int i = 0; i < 5 && !anyOther; ++i) {
        const ATSURGBAlphaColor random = NewCard()->GetColor();
        for (Float32 component : {random.red, random.green, random.blue}) {
            EXPECT_GE(component, 0);
            EXPECT_LE(component, 1);
        }
        anyOther = random.red != 0 || random.green != 0 || random.blue != 1;
        EXPECT_FLOAT_EQ(random.alpha, 0.9f);
    }
    EXPECT_TRUE(anyOther);
}

TEST_F(CardFixture, AHandWrittenArchiveLoadsWithItsValues)
{
    TArchiver* archiver = ArchiverFromXML(HandWrittenArchive(""));
    ASSERT_NE(archiver, nullptr);
    const auto card = TObjectRef<TTestCard>::Adopt(DecodeCard(archiver));
    archiver->Release();
    ASSERT_TRUE(card);

    EXPECT_EQ(UTF8Of(card->GetTitle()), "Errands") << "a decoded card is not \"Untitled\"";
    EXPECT_EQ(UUIDText(card->GetUUID()), "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    // 2024-03-01T10:00:00Z and 2024-02-01T08:30:00Z from 2001-01-01.
    EXPECT_DOUBLE_EQ(CFDateGetAbsoluteTime(card->GetTimeStamp()), 730980000.0);
    ASSERT_NE(card->GetRecentSyncTime(), nullptr);
    EXPECT_DOUBLE_EQ(CFDateGetAbsoluteTime(card->GetRecentSyncTime()), 728469000.0);
    EXPECT_EQ(card->GetTabEdge(), 2);
    EXPECT_TRUE(card->IsTabOpen());
    EXPECT_EQ(card->GetBackgroundImageMode(), kBackgroundTile);
    EXPECT_TRUE(CGRectEqualToRect(card->GetSavedTabFrame(), CGRectMake(10, 20, 330, 340)));
    EXPECT_EQ(UTF8Of(card->GetExternalFile()), "/tmp/errands.brcard");
    EXPECT_TRUE(card->IsMinimized());
    const ATSURGBAlphaColor color = card->GetColor();
    EXPECT_EQ(color.red, 0.5f);
    EXPECT_EQ(color.green, 0.25f);
    EXPECT_EQ(color.blue, 0.75f);
    EXPECT_EQ(color.alpha, 1.0f);
    EXPECT_TRUE(CGRectEqualToRect(card->GetFrame(), CGRectMake(120, 80, 320, 400)));
    EXPECT_EQ(card->GetCardImage(), nullptr);
    EXPECT_EQ(card->GetCardImageKind(), kCardImageNone);
}

TEST_F(CardFixture, TheCardsOwnArchiveHasTheKeysKindsAndBytes)
{
    TArchiver* source = ArchiverFromXML(HandWrittenArchive(""));
    const auto card = TObjectRef<TTestCard>::Adopt(DecodeCard(source));
    source->Release();
    ASSERT_TRUE(card);
    // A title image of 4 × 2 pixels goes into the archive as PNG data.
    CFRef<CGImageRef> image(CGImageCreateCopyWithSize(CornerImage().get(), CGSizeMake(4, 2)));
    card->SetCardImage(CGImageRetain(image.get()), kCardImageTitle);

    TArchiver* archiver = card->CopyArchive();
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, archiver->CFType()));
    ASSERT_TRUE(xml);
    const QByteArray bytes(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.get())), int(CFDataGetLength(xml.get())));
    const std::map<std::string, PlistValue> values = ReadTopDictionary(bytes);

    const struct {
        const char* key;
        const char* kind;
        const char* text;  // the text, or for data the hex of its bytes; nil: not compared
    } expected[] = {
        {"system.class", "string", "TTestCard"},
        {"timeStamp", "date", "2024-03-01T10:00:00Z"},
        {"recentSyncTime", "date", "2024-02-01T08:30:00Z"},
        {"tabEdge", "integer", "2"},
        {"tabOpen", "true", ""},
        {"backgroundMode", "integer", "3"},
        {"savedTabFrame.origin.x", "real", "10"},
        {"savedTabFrame.origin.y", "real", "20"},
        {"savedTabFrame.size.width", "real", "330"},
        {"savedTabFrame.size.height", "real", "340"},
        {"uuid", "string", "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"},
        {"title", "string", "Errands"},
        {"externalFile", "string", "/tmp/errands.brcard"},
        {"minimize", "true", ""},
        {"color.red", "data", "3f000000"},
        {"color.green", "data", "3e800000"},
        {"color.blue", "data", "3f400000"},
        {"color.alpha", "data", "3f800000"},
        {"frame.origin.x", "data", "42f00000"},
        {"frame.origin.y", "data", "42a00000"},
        {"frame.size.height", "data", "43c80000"},
        {"frame.size.width", "data", "43a00000"},
        {"cardImage", "data", nullptr},
        {"cardImageKind", "integer", "1"},
    };
    for (const auto& row : expected) {
        SCOPED_TRACE(row.key);
        const auto found = values.find(row.key);
        ASSERT_NE(found, values.end());
        EXPECT_EQ(found->second.kind, row.kind);
        if (row.text == nullptr)
            continue;
        if (found->second.kind == "data")
            EXPECT_EQ(Hex(QByteArray::fromBase64(QByteArray::fromStdString(found->second.text))), row.text);
        else
            EXPECT_EQ(found->second.text, row.text);
    }
    EXPECT_EQ(values.size(), std::size(expected)) << "no key beyond the card's own";
    const QByteArray png = QByteArray::fromBase64(QByteArray::fromStdString(values.at("cardImage").text));
    EXPECT_TRUE(png.startsWith("\x89PNG")) << "the image is stored as PNG";

    // And back: the decoded copy has the same identity, look and image.
    const auto decoded = TObjectRef<TTestCard>::Adopt(DecodeCard(archiver));
    archiver->Release();
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(CompareCards(card.get(), decoded.get()));
    EXPECT_EQ(decoded->GetCardImageKind(), kCardImageTitle);
    ASSERT_NE(decoded->GetCardImage(), nullptr);
    EXPECT_EQ(CGImageGetWidth(decoded->GetCardImage()), 4u);
}

TEST_F(CardFixture, AnArchiveWithoutOptionalKeysLeavesThemEmpty)
{
    // A new card: never synchronised, no tab frame, no file, no image.
    TTestCard* card = NewCard();
    TArchiver* archiver = card->CopyArchive();
    for (const char* key :
         {"recentSyncTime", "savedTabFrame.origin.x", "savedTabFrame.size.width", "externalFile", "cardImage"}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(archiver->ContainsKey(key));
    }
    // An older file without "tabEdge", "uuid" and "timeStamp".
    for (const char* key : {"tabEdge", "uuid", "timeStamp"})
        archiver->Remove(key);
    archiver->SetIntegerValue("tabEdge-not", 3);
    const auto decoded = TObjectRef<TTestCard>::Adopt(DecodeCard(archiver));
    archiver->Release();
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->GetTabEdge(), 0);
    EXPECT_TRUE(CGRectIsEmpty(decoded->GetSavedTabFrame()));
    ASSERT_NE(decoded->GetUUID(), nullptr) << "a new identifier";
    EXPECT_FALSE(CompareCards(card, decoded.get()));
    ASSERT_NE(decoded->GetTimeStamp(), nullptr) << "the current time";
}

TEST_F(CardFixture, ColourAndFrameValuesOfAnotherLengthReadAsTheDefault)
{
    const struct {
        const char* name;
        const char* red;    // base64 of the stored bytes
        const char* width;  // likewise
        Float32 expectedRed;
        CGFloat expectedWidth;
    } rows[] = {
        {"four bytes", "PwAAAA==", "Q6AAAA==", 0.5f, 320},
        {"three bytes", "PwAA", "Q6AA", 0.0f, 300},
        {"five bytes", "PwAAAAA=", "Q6AAAAA=", 0.0f, 300},
        {"empty", "", "", 0.0f, 300},
        {"not a number (7F C0 00 00)", "f8AAAA==", "f8AAAA==", 0.0f, 300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string xml = HandWrittenArchive("");
        const auto replaceData = [&xml](const std::string& key, const std::string& stored, const char* bytes) {
            const std::string old = "<key>" + key + "</key><data>" + stored + "</data>";
            xml.replace(xml.find(old), old.size(), "<key>" + key + "</key><data>" + bytes + "</data>");
        };
        replaceData("color.red", "PwAAAA==", row.red);
        // A damaged width falls back to the card's minimum.
        replaceData("frame.size.width", "Q6AAAA==", row.width);
        TArchiver* archiver = ArchiverFromXML(xml);
        ASSERT_NE(archiver, nullptr);
        const auto card = TObjectRef<TTestCard>::Adopt(DecodeCard(archiver));
        archiver->Release();
        ASSERT_TRUE(card);
        EXPECT_EQ(card->GetColor().red, row.expectedRed);
        EXPECT_EQ(card->GetColor().green, 0.25f) << "the other channels are read as stored";
        EXPECT_EQ(card->GetSize().width, row.expectedWidth);
        EXPECT_EQ(card->GetSize().height, 400) << "the other frame values are read as stored";
    }
}

TEST_F(CardFixture, IdentifiersMatchWithoutRegardToCase)
{
    std::string upperXML = HandWrittenArchive("");
    const std::string lowerUUID = "6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b";
    upperXML.replace(upperXML.find(lowerUUID), lowerUUID.size(), "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    TArchiver* upper = ArchiverFromXML(upperXML);
    const std::string lowerXML = HandWrittenArchive("");
    const auto card = TObjectRef<TTestCard>::Adopt(DecodeCard(upper));
    upper->Release();
    TArchiver* lower = ArchiverFromXML(lowerXML);
    const auto same = TObjectRef<TTestCard>::Adopt(DecodeCard(lower));
    lower->Release();
    ASSERT_TRUE(card && same);
    EXPECT_TRUE(CompareCards(card.get(), same.get()));
    EXPECT_FALSE(CompareCards(card.get(), nullptr));
    EXPECT_FALSE(CompareCards(nullptr, nullptr));

    // The file holds lowercase; the card writes the canonical uppercase form.
    TArchiver* written = same->CopyArchive();
    EXPECT_EQ(written->GetStringValue("uuid").ToString(), "6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    written->Release();

    // An identifier that is no identifier gives the card a new one.
    std::string broken = HandWrittenArchive("");
    broken.replace(broken.find("6f1c2a3b-"), 9, "zz1c2a3b-");
    TArchiver* archiver = ArchiverFromXML(broken);
    const auto other = TObjectRef<TTestCard>::Adopt(DecodeCard(archiver));
    archiver->Release();
    ASSERT_TRUE(other);
    ASSERT_NE(other->GetUUID(), nullptr);
    EXPECT_FALSE(CompareCards(card.get(), other.get()));
}

TEST_F(CardFixture, ACopyKeepsTitleColourAndImageUnderANewIdentity)
{
    TTestCard* card = NewCard();
    card->SetTitle(CFSTR("Groceries"));
    card->SetColor(0.2f, 0.6f, 0.4f, 0.8f);
    card->SetMinimized(true);
    card->SetCardImage(CGImageCreateCopyWithSize(CornerImage().get(), CGSizeMake(6, 3)), kCardImageBackground);

    const auto copy = TObjectRef<TTestCard>::Adopt(static_cast<TTestCard*>(card->Copy()));
    EXPECT_EQ(UTF8Of(copy->GetTitle()), "Groceries") << "a copy is not a fresh card";
    EXPECT_EQ(copy->GetColor().green, 0.6f);
    EXPECT_EQ(copy->GetColor().alpha, 0.8f);
    EXPECT_TRUE(copy->IsMinimized());
    ASSERT_NE(copy->GetCardImage(), nullptr);
    EXPECT_NE(copy->GetCardImage(), card->GetCardImage()) << "its own image";
    EXPECT_EQ(copy->GetCardImageKind(), kCardImageBackground);
    EXPECT_FALSE(CompareCards(card, copy.get())) << "a new identifier";
    // The copy's title is its own: changing one leaves the other.
    card->HandleTitleChanged(CFSTR("Changed"));
    EXPECT_EQ(UTF8Of(copy->GetTitle()), "Groceries");
}

TEST_F(CardFixture, ADelayedScreenRefreshIsTiedToTheCardsLife)
{
    Clock::Fake clock(1e9);
    const auto pass = [&](double seconds) {
        clock.Advance(seconds);
        FireDueEventLoopTimers(GetMainEventLoop());
    };
    TTestCard* card = NewCard();
    card->UpdateScreenImageWithDelay(1.0);
    pass(0.6);
    card->UpdateScreenImageWithDelay(1.0);  // asked again: once, counted from now
    pass(0.6);
    EXPECT_EQ(screen_->imageUpdates, 0);
    pass(0.5);
    EXPECT_EQ(screen_->imageUpdates, 1);
    EXPECT_FALSE(card->IsUpdatePending());

    // A card that goes before its refresh is never called: taken off its
    // layer (the reference the layer held is the test's now) and released.
    card->UpdateScreenImageWithDelay(1.0);
    card->Detach();
    card->Release();
    DumpAutoreleaseTable();
    EXPECT_FALSE(TObject::IsLiveObject(card));
    pass(2.0);
    EXPECT_EQ(screen_->imageUpdates, 1);
}

TEST_F(CardFixture, LuminosityAndTextColourFollowTheCardColour)
{
    TTestCard* card = NewCard();
    const struct {
        const char* name;
        ATSURGBAlphaColor color;
        Float32 luminosity;
        bool blackText;
    } rows[] = {
        {"white", {1, 1, 1, 1}, 1.0f, true},
        {"dark blue", {0, 0, 0.5f, 1}, 0.0361f, false},
        {"pure green", {0, 1, 0, 1}, 0.7152f, true},
        {"red", {1, 0, 0, 1}, 0.2126f, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        card->SetColor(row.color.red, row.color.green, row.color.blue, row.color.alpha);
        EXPECT_NEAR(card->GetLuminosity(), row.luminosity, 1e-5);
        NSColor* text = card->GetBaseTextColor();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->redComponent(), row.blackText ? 0.0 : 1.0);
    }
    screen_->printing = true;
    EXPECT_TRUE(card->IsPrinting());
    EXPECT_EQ(card->GetBaseTextColor()->redComponent(), 0.0) << "black on paper";
}

TEST_F(CardFixture, OpacityPreferenceReachesEveryCard)
{
    TTestCard* first = NewCard();
    TTestCard* second = NewCard();
    Prefs()->SetIntegerValue("TPreferences.cardOpacity", 60);
    const auto parameters = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    parameters->SetStringValue("key", "TPreferences.cardOpacity");
    TResponder::PostNotification("TControl.valueChanged", parameters.get());
    EXPECT_FLOAT_EQ(first->GetColor().alpha, 0.6f);
    EXPECT_FLOAT_EQ(second->GetColor().alpha, 0.6f);

    // Turning the minimise button off restores a minimised card.
    first->SetMinimized(true);
    Prefs()->SetBooleanValue("TPreferences.showMinimize", false);
    parameters->SetStringValue("key", "TPreferences.showMinimize");
    TResponder::PostNotification("TControl.valueChanged", parameters.get());
    EXPECT_FALSE(first->IsMinimized());

    // A new title font lays every title out anew.
    const CGFloat before = second->GetTitleFrame().size.height;
    Prefs()->SetIntegerValue("title-font-size", 28);
    TResponder::PostNotification("TFontPanel.TitleFontChanged");
    EXPECT_GT(second->GetTitleFrame().size.height, before);
}

TEST_F(CardFixture, ProtocolsAnswerNeutrallyAndTellWhatIsUnfilled)
{
    EXPECT_EQ(TScreenProtocol::SharedScreen(), nullptr) << "nil until a screen registers";
    TScreenProtocol::SetSharedScreen(screen_.get());
    EXPECT_EQ(TScreenProtocol::SharedScreen(), screen_.get());
    EXPECT_EQ(screen_->GetRetainCount(), 1) << "not retained";

    Diagnostics::Capture capture;
    EXPECT_EQ(screen_->GetMainLayer(), nullptr);
    HICommandExtended command{};
    OSStatus status = -9874;
    screen_->ProcessCommand(command, nullptr, status);
    EXPECT_EQ(status, -9874) << "an unfilled command handler leaves the status";
    TTestCard* card = NewCard();
    EXPECT_EQ(card->GetBrowser(), nullptr) << "only task-list cards have an outline";
    EXPECT_FALSE(card->GetHideCompletedTasks());
    EXPECT_TRUE(card->IsEditable());
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{
                                   "Warning: TScreenProtocol.GetMainLayer is not filled by TTestScreen.",
                                   "Warning: TScreenProtocol.ProcessCommand is not filled by TTestScreen.",
                                   "Warning: TCardProtocol.GetBrowser is not filled by TTestCard.",
                                   "Warning: TCardProtocol.GetHideCompletedTasks is not filled by TTestCard.",
                               }));
    TScreenProtocol::SetSharedScreen(nullptr);

    // Every class of the unit is abstract in the registry's eyes: none can
    // be made by name.
    for (const ClassInfo* info :
         {&TCardProtocol::StaticClass(), &TTaskProtocol::StaticClass(), &TBrowserProtocol::StaticClass(),
          &TScreenProtocol::StaticClass(), &TBrindletApplicationProtocol::StaticClass(), &TCard::StaticClass()}) {
        SCOPED_TRACE(info->name);
        EXPECT_EQ(info->allocate, nullptr);
    }
    EXPECT_TRUE(TCard::StaticClass().InheritsFrom(TSprite::StaticClass()));
    EXPECT_TRUE(TScreenProtocol::StaticClass().InheritsFrom(TSpriteCanvas::StaticClass()));
}
