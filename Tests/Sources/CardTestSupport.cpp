#include "CardTestSupport.h"

BRINDLET_DEFINE_CLASS(TTestCard, TCard)
BRINDLET_DEFINE_CLASS(TTestScreen, TScreenProtocol)
BRINDLET_DEFINE_CLASS(TNotificationCounter, TResponder)

void CardFixture::SetUp()
{
    // Cocoa objects the drawing autoreleases go with the test, not with a
    // pass of the event loop that never comes.
    pool_ = NSAutoreleasePool::newPool();
    InitializeSpriteEngineUnits();
    RegisterClass(TTestCard::StaticClass());
    InitializeUGenericCardUnit();
    application_ = TApplication::Create<TApplication>(kBrindletSignature, BrindletBundleIdentifier());
    // The look the tests draw: fixed fonts and colours, no random colour,
    // no transitions.
    Prefs()->SetBooleanValue("TPreferences.randomColor", false);
    Prefs()->SetBooleanValue("TPreferences.showTransitions", false);
    Prefs()->SetBooleanValue("TPreferences.shadows", true);
    Prefs()->SetBooleanValue("TPreferences.showMinimize", true);
    Prefs()->SetBooleanValue("TPreferences.adjustColor", true);
    Prefs()->SetIntegerValue("TPreferences.adjustColorLevel", 50);
    Prefs()->SetIntegerValue("TPreferences.cardOpacity", 90);
    Prefs()->SetIntegerValue("TPreferences.gradientOpacity", 80);
    Prefs()->SetStringValue("title-font-family", "DejaVu Sans");
    Prefs()->SetIntegerValue("title-font-size", 16);
    Prefs()->SetStringValue("tab-font-family", "DejaVu Sans");
    Prefs()->SetIntegerValue("tab-font-size", 12);

    screen_ = TObjectRef<TTestScreen>::Adopt(TTestScreen::Create(CGSizeMake(1280, 800)));
    // Bound to a view and without a frame timer, the canvas takes a removed
    // card off its layer at once.
    const HIRect viewFrame = CGRectMake(0, 0, 1280, 800);
    HIViewCreatePlain(&viewFrame, &view_);
    screen_->SetView(view_);
    screen_->SetPaused(true);
    screen_->RegisterMethod("UpdateImage", BRINDLET_METHOD(TTestScreen, UpdateImage));
    const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, false));
    screen_->AppendLayer(layer.get());
    layer_ = layer.get();
}

void CardFixture::TearDown()
{
    screen_.Reset();
    layer_ = nullptr;
    DisposeControl(view_);
    view_ = nullptr;
    application_->Release();
    application_ = nullptr;
    DumpAutoreleaseTable();
    pool_->release();
    pool_ = nullptr;
}

TTestCard* CardFixture::NewCard()
{
    return TTestCard::CreateUntitled(layer_);
}
