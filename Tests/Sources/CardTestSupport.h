#pragma once

// What the card tests share: a card class of the tests' own (the base card is
// abstract), a screen whose printing the test switches, and a fixture with
// the program's resources, an application for the preferences, and a canvas
// with one layer.

#include "BrindletTestSupport.h"

#include <Sources/Cards/UGenericCard.h>

#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/Classes/TObjectRef.h>

#include <Foundation/NSObject.h>
#include <HIToolbox/HIView.h>

#include <QFontDatabase>

class TTestCard : public TCard {
    BRINDLET_CLASS(TTestCard, TCard)

public:
    static TTestCard* CreateUntitled(TSpriteLayerProtocol* layer) { return TCard::CreateUntitled<TTestCard>(layer); }

protected:
    TTestCard() = default;
};

class TTestScreen : public TScreenProtocol {
    BRINDLET_CLASS(TTestScreen, TScreenProtocol)

public:
    static TTestScreen* Create(CGSize size)
    {
        TTestScreen* screen = Allocate();
        screen->SetUpCanvas(size, 0);
        screen->Initialize();
        return screen;
    }
    Boolean IsPrinting() override { return printing; }
    void UpdateImage() { ++imageUpdates; }

    bool printing = false;
    int imageUpdates = 0;

protected:
    TTestScreen() = default;
};

// Counts the local notifications of one name.
class TNotificationCounter : public TResponder {
    BRINDLET_CLASS(TNotificationCounter, TResponder)

public:
    static TNotificationCounter* Create(const ShortString& name)
    {
        TNotificationCounter* counter = CreateInstance<TNotificationCounter>();
        counter->ObserveNotification(name, BRINDLET_METHOD(TNotificationCounter, Count));
        return counter;
    }
    void Count(TDictionary*) { ++count; }
    int count = 0;

protected:
    TNotificationCounter() = default;
};

class CardFixture : public testing::Test {
protected:
    static void SetUpTestSuite() { QFontDatabase::addApplicationFont(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf"); }

    void SetUp() override;
    void TearDown() override;

    TPreferenceHandlerApplication* Prefs() { return TApplication::Prefs(); }
    // A new card on the layer, as the user makes one; the layer owns it.
    TTestCard* NewCard();

    BrindletScope scope_;
    TApplication* application_ = nullptr;
    TObjectRef<TTestScreen> screen_;
    TSpriteLayer* layer_ = nullptr;
    HIViewRef view_ = nullptr;
    NSAutoreleasePool* pool_ = nullptr;
};
