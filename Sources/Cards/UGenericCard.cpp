#include "UGenericCard.h"

#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <AppKit/NSColor.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Support/Diagnostics.h>

#include <bit>
#include <cmath>
#include <cstring>

SPRITE_DEFINE_ABSTRACT_CLASS(TCard, TCardProtocol)

namespace {

CardArtwork artwork;
bool artworkLoaded = false;

TPreferenceHandlerApplication* Prefs()
{
    return TApplication::Prefs();
}

// A preference read with the value the program's defaults give it, for a
// card made before the preferences exist (no application, or a key never
// written).
SInt32 PrefInteger(const ShortString& key, SInt32 fallback)
{
    TPreferenceHandlerApplication* prefs = Prefs();
    if (prefs == nullptr || !prefs->ContainsValue(key))
        return fallback;
    return prefs->GetIntegerValue(key);
}

bool PrefBoolean(const ShortString& key)
{
    TPreferenceHandlerApplication* prefs = Prefs();
    return prefs != nullptr && prefs->GetBooleanValue(key);
}

constexpr double kCardVerticalAxis = 2147483648.0;

}  // namespace

const CardArtwork& GetCardArtwork()
{
    // A program that draws a card before the unit was initialised still
    // gets its artwork.
    if (!artworkLoaded)
        InitializeUGenericCardUnit();
    return artwork;
}

void InitializeUGenericCardUnit()
{
    HIThemeRelease9PartImage(artwork.frameNormal);
    HIThemeRelease9PartImage(artwork.frameFocused);
    HIThemeRelease3PartImage(artwork.minimizedNormal);
    HIThemeRelease3PartImage(artwork.minimizedFocused);
    for (CGImageRef* image : {&artwork.close, &artwork.growBox, &artwork.minimizeOpened, &artwork.minimizeClosed}) {
        CGImageRelease(*image);
        *image = nullptr;
    }
    artwork.frameNormal = HIThemeLoad9PartImage("/Images/CardFrame/Normal");
    artwork.frameFocused = HIThemeLoad9PartImage("/Images/CardFrame/Focused");
    artwork.minimizedNormal = HIThemeLoad3PartImage("/Images/CardFrameMinimized/Normal");
    artwork.minimizedFocused = HIThemeLoad3PartImage("/Images/CardFrameMinimized/Focused");
    artwork.close = CGImageLoadFromResource("close.png", "Images/Card");
    artwork.growBox = CGImageLoadFromResource("growbox.png", "Images/Card");
    artwork.minimizeOpened = CGImageLoadFromResource("minimize_opened.png", "Images/Card");
    artwork.minimizeClosed = CGImageLoadFromResource("minimize_closed.png", "Images/Card");
    artworkLoaded = true;
}

// ---- 4-byte singles ----

void ArchiveSetSingle(TArchiver* archiver, const ShortString& key, Float32 value)
{
    const UInt32 bits = std::bit_cast<UInt32>(value);
    const UInt8 bytes[4] = {UInt8(bits >> 24), UInt8(bits >> 16), UInt8(bits >> 8), UInt8(bits)};
    archiver->SetDataValue(key, sizeof bytes, bytes);
}

bool ArchiveGetSingle(const TArchiver* archiver, const ShortString& key, Float32& value)
{
    UInt8 bytes[4] = {};
    if (!archiver->GetDataValue(key, bytes, sizeof bytes))
        return false;
    const UInt32 bits = UInt32(bytes[0]) << 24 | UInt32(bytes[1]) << 16 | UInt32(bytes[2]) << 8 | UInt32(bytes[3]);
    const Float32 read = std::bit_cast<Float32>(bits);
    // A value that is no number would poison every later computation.
    if (!std::isfinite(read))
        return false;
    value = read;
    return true;
}

bool CompareCards(TCard* a, TCard* b)
{
    if (a == nullptr || b == nullptr || a->GetUUID() == nullptr || b->GetUUID() == nullptr)
        return false;
    return CFEqual(a->GetUUID(), b->GetUUID());
}

// ---- life cycle ----

void TCard::PlaceUntitled(TSpriteLayerProtocol* layer)
{
    const CGRect screen = TSpriteCanvas::MainScreenFrame();
    SetLocation(std::trunc(screen.size.width / 2 - kCardMinimumSide / 2),
                std::trunc(screen.size.height / 2 - kCardMinimumSide / 2));
    SetLayer(layer);
    Initialize();
}

TCard* TCard::CreateUntitledOfClass(const ClassInfo& cardClass, TSpriteLayerProtocol* layer)
{
    if (!cardClass.InheritsFrom(TCard::StaticClass()) || cardClass.allocate == nullptr)
        return nullptr;
    TCard* card = static_cast<TCard*>(cardClass.allocate());
    card->PlaceUntitled(layer);
    return card;
}

void TCard::Initialize()
{
    Inherited::Initialize();
    if (uuid_ == nullptr)
        uuid_ = CFUUIDCreate(nullptr);
    if (timeStamp_ == nullptr)
        timeStamp_ = CFDateCreate(nullptr, CFAbsoluteTimeGetCurrent());
    if (title_ == nullptr)
        title_ = CFStringCreateMutable(nullptr, 0);
    if (PrefBoolean("TPreferences.shadows"))
        SetFrameInset(CGSizeMake(-12, -12));

    const bool fresh = !DidInitializeFromArchive() && !DidInitializeFromCopying() && !copied_;
    if (fresh) {
        SetVerticalAxis(kCardVerticalAxis);
        CFStringReplaceAll(title_, CFSTR("Untitled"));
        const Float32 alpha = PrefInteger("TPreferences.cardOpacity", 100) * 0.01f;
        if (PrefBoolean("TPreferences.randomColor")) {
            const Float32 blue = GetRandomNumber(0, 10000) / 10000.0f;
            const Float32 green = GetRandomNumber(0, 10000) / 10000.0f;
            const Float32 red = GetRandomNumber(0, 10000) / 10000.0f;
            SetColor(red, green, blue, alpha);
        } else {
            SetColor(0, 0, 1, alpha);
        }
        SetSize(kCardMinimumSide, kCardMinimumSide);
        if (IsCanvasValid())
            GiveFocus();
        if (!PrefBoolean("TPreferences.showTransitions"))
            EditTitle();
        else
            waitingForInitialState_ = true;
        PostNotification("SyncSheetChanged");
    }

    ObserveNotification("TColorPicker.ColorChanged", BRINDLET_METHOD(TCard, ColorChanged));
    ObserveNotification("TCanvasPane.paneAdded", BRINDLET_METHOD(TCard, HandleCanvasPaneAdded));
    ObserveNotification("TControl.valueChanged", BRINDLET_METHOD(TCard, HandlePreferencesChanged));
    ObserveNotification("TCard.tabFocusChanged", BRINDLET_METHOD(TCard, HandleTabFocusChanged));
    ObserveNotification("TScreen.MonitorsChanged", BRINDLET_METHOD(TCard, HandleMonitorsChanged));
    ObserveNotification("TTextField.HeightChanged", BRINDLET_METHOD(TCard, HandleTextInputChanged));
    ObserveNotification("TEditSession.StopEditing", BRINDLET_METHOD(TCard, HandleStoppedEditing));
    ObserveNotification("TFontPanel.ListFontChanged", BRINDLET_METHOD(TCard, HandleFontChanged));
    ObserveNotification("TFontPanel.TitleFontChanged", BRINDLET_METHOD(TCard, HandleFontChanged));
    ObserveNotification("TFontPanel.TabFontChanged", BRINDLET_METHOD(TCard, HandleFontChanged));
    ObserveNotification("TPreferences.TextColorChanged", BRINDLET_METHOD(TCard, HandleTextColorChanged));
    ObserveNotification("TCard.updateCards", BRINDLET_METHOD(TCard, HandleUpdateCard));
    ObserveNotification("notification.mousemoved.spritecanvas", BRINDLET_METHOD(TCard, HandleCanvasMouseMoved));

    SetMinimumSize(kCardMinimumSide, kCardMinimumSide);
    SetSupportsArchiving(true);
    // A card read from an archive is composited once it has its place on a
    // layer (its reader does it); compositing it here too drew it twice.
    if (!DidInitializeFromArchive())
        CompositeImage();
}

void TCard::Deallocate()
{
    // Whatever the card started must not call it once it is gone.
    TTimer::Terminate(updateAction_);
    TTimer::Terminate(dragDelayTimer_);
    ForgetTransition();
    RemoveObservedNotifications();
    if (title_ != nullptr)
        CFRelease(title_);
    if (uuid_ != nullptr)
        CFRelease(uuid_);
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    if (recentSyncTime_ != nullptr)
        CFRelease(recentSyncTime_);
    if (externalFile_ != nullptr)
        CFRelease(externalFile_);
    CGImageRelease(cardImage_);
    title_ = nullptr;
    uuid_ = nullptr;
    timeStamp_ = nullptr;
    recentSyncTime_ = nullptr;
    externalFile_ = nullptr;
    cardImage_ = nullptr;
    Inherited::Deallocate();
}

void TCard::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    auto* other = dynamic_cast<TCard*>(source);
    if (other == nullptr)
        return;
    copied_ = true;
    SetTitle(other->GetTitle());
    minimize_ = other->minimize_;
    color_ = other->GetColor();
    titleFrame_ = other->titleFrame_;
    CGImageRelease(cardImage_);
    cardImage_ = other->cardImage_ != nullptr ? CGImageCreateCopy(other->cardImage_) : nullptr;
    cardImageKind_ = other->cardImageKind_;
}

// ---- archive ----

void TCard::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    archiver->SetValue("timeStamp", timeStamp_);
    archiver->SetValue("recentSyncTime", recentSyncTime_);
    archiver->SetIntegerValue("tabEdge", GetTabEdge());
    archiver->SetBooleanValue("tabOpen", tabOpen_);
    archiver->SetIntegerValue("backgroundMode", backgroundMode_);
    if (!CGRectIsEmpty(savedTabFrame_))
        archiver->SetRectValue("savedTabFrame", savedTabFrame_);
    if (uuid_ != nullptr) {
        CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, uuid_));
        archiver->SetValue("uuid", text.get());
    }
    archiver->SetValue("title", title_);
    if (externalFile_ != nullptr)
        archiver->SetValue("externalFile", externalFile_);
    archiver->SetBooleanValue("minimize", IsMinimized());
    ArchiveSetSingle(archiver, "color.red", color_.red);
    ArchiveSetSingle(archiver, "color.green", color_.green);
    ArchiveSetSingle(archiver, "color.blue", color_.blue);
    ArchiveSetSingle(archiver, "color.alpha", color_.alpha);
    const CGRect frame = GetFrame();
    ArchiveSetSingle(archiver, "frame.origin.x", frame.origin.x);
    ArchiveSetSingle(archiver, "frame.origin.y", frame.origin.y);
    ArchiveSetSingle(archiver, "frame.size.height", frame.size.height);
    ArchiveSetSingle(archiver, "frame.size.width", frame.size.width);
    archiver->SetImageValue("cardImage", cardImage_);
    archiver->SetIntegerValue("cardImageKind", cardImageKind_);
}

namespace {

// A date of the archive, retained for the card; nil when absent or not a date.
CFDateRef CopyDateValue(TArchiver* archiver, const ShortString& key)
{
    CFTypeRef value = archiver->GetValue(key);
    if (value == nullptr || CFGetTypeID(value) != CFDateGetTypeID())
        return nullptr;
    return static_cast<CFDateRef>(CFRetain(value));
}

}  // namespace

void TCard::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    if (CFDateRef date = CopyDateValue(archiver, "timeStamp")) {
        if (timeStamp_ != nullptr)
            CFRelease(timeStamp_);
        timeStamp_ = date;
    }
    if (CFDateRef date = CopyDateValue(archiver, "recentSyncTime")) {
        if (recentSyncTime_ != nullptr)
            CFRelease(recentSyncTime_);
        recentSyncTime_ = date;
    }
    savedTabFrame_ = archiver->GetRectValue("savedTabFrame");
    tabOpen_ = archiver->GetBooleanValue("tabOpen");
    backgroundMode_ = archiver->GetIntegerValue("backgroundMode");
    if (backgroundMode_ < kBackgroundScaleToFill || backgroundMode_ > kBackgroundTile)
        backgroundMode_ = kBackgroundScaleToFill;
    if (archiver->ContainsKey("tabEdge")) {
        tabEdge_ = archiver->GetIntegerValue("tabEdge");
        if (tabEdge_ < 0 || tabEdge_ > 4)
            tabEdge_ = 0;
    }
    if (archiver->ContainsKey("uuid")) {
        CFRef<CFStringRef> text(archiver->CopyStringValue("uuid"));
        // Identifiers are hexadecimal in either case; one that does not
        // parse leaves the card to get a new identifier.
        if (CFUUIDRef uuid = text ? CFUUIDCreateFromString(nullptr, text.get()) : nullptr) {
            if (uuid_ != nullptr)
                CFRelease(uuid_);
            uuid_ = uuid;
        }
    }
    if (CFMutableStringRef title = archiver->CopyMutableStringValue("title")) {
        if (title_ != nullptr)
            CFRelease(title_);
        title_ = title;
    }
    if (CFStringRef file = archiver->CopyStringValue("externalFile")) {
        SetExternalFile(file);
        CFRelease(file);
    }
    minimize_ = archiver->GetBooleanValue("minimize");

    // Each component on its own: a damaged one keeps its default.
    ArchiveGetSingle(archiver, "color.red", color_.red);
    ArchiveGetSingle(archiver, "color.green", color_.green);
    ArchiveGetSingle(archiver, "color.blue", color_.blue);
    ArchiveGetSingle(archiver, "color.alpha", color_.alpha);
    for (Float32* component : {&color_.red, &color_.green, &color_.blue, &color_.alpha})
        *component = std::fmin(1.0f, std::fmax(0.0f, *component));

    CGRect frame = CGRectMake(0, 0, kCardMinimumSide, kCardMinimumSide);
    Float32 value = 0;
    if (ArchiveGetSingle(archiver, "frame.origin.x", value))
        frame.origin.x = value;
    if (ArchiveGetSingle(archiver, "frame.origin.y", value))
        frame.origin.y = value;
    if (ArchiveGetSingle(archiver, "frame.size.width", value) && value > 0)
        frame.size.width = value;
    if (ArchiveGetSingle(archiver, "frame.size.height", value) && value > 0)
        frame.size.height = value;
    SetFrame(frame);

    CGImageRelease(cardImage_);
    cardImage_ = archiver->CopyImageValue("cardImage");
    cardImageKind_ = archiver->GetIntegerValue("cardImageKind");
    if (cardImage_ == nullptr || cardImageKind_ < kCardImageNone || cardImageKind_ > kCardImageBackground)
        cardImageKind_ = kCardImageNone;
}

// ---- model ----

void TCard::SetTitle(CFStringRef text)
{
    if (text == nullptr)
        return;
    CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, text);
    if (title_ != nullptr)
        CFRelease(title_);
    title_ = copy;
}

void TCard::HandleTitleChanged(CFStringRef text)
{
    if (text == nullptr)
        return;
    CFStringReplaceAll(title_, text);
    UpdateFace();
}

void TCard::SetColor(Float32 red, Float32 green, Float32 blue, Float32 alpha)
{
    color_ = ATSURGBAlphaColor{red, green, blue, alpha};
}

void TCard::SetColor(const NSColor* color, Float32 alpha)
{
    if (color == nullptr)
        return;
    SetColor(Float32(color->redComponent()), Float32(color->greenComponent()), Float32(color->blueComponent()), alpha);
}

Float32 TCard::GetLuminosity()
{
    const ATSURGBAlphaColor color = GetColor();
    return 0.2126f * color.red + 0.7152f * color.green + 0.0722f * color.blue;
}

void TCard::RenewTimeStamp(CFAbsoluteTime time)
{
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    timeStamp_ = CFDateCreate(nullptr, time);
}

void TCard::SetRecentSyncTime(CFAbsoluteTime time)
{
    if (recentSyncTime_ != nullptr)
        CFRelease(recentSyncTime_);
    recentSyncTime_ = CFDateCreate(nullptr, time);
}

Boolean TCard::IsPrinting()
{
    auto* screen = dynamic_cast<TScreenProtocol*>(GetCanvas());
    return screen != nullptr && screen->IsPrinting();
}

void TCard::AdjustHeight()
{
    if (!PrefBoolean("TPreferences.adjustHeight"))
        return;
    SetNeedsAdjustHeight(true);
    CompositeImage();
    UpdateFace();
    UpdateScreenImageWithDelay();
}

void TCard::SetMinimized(bool flag)
{
    if (minimize_ == flag)
        return;
    minimize_ = flag;
    minimizeChanged_ = true;
}

void TCard::SetBackgroundImageMode(SInt32 mode)
{
    if (mode >= kBackgroundScaleToFill && mode <= kBackgroundTile)
        backgroundMode_ = mode;
}

void TCard::SetTabEdge(SInt32 edge, bool open)
{
    if (edge < 0 || edge > 4)
        return;
    tabEdge_ = edge;
    tabOpen_ = edge != 0 && open;
}

void TCard::SetExternalFile(CFStringRef path)
{
    if (path != nullptr)
        CFRetain(path);
    if (externalFile_ != nullptr)
        CFRelease(externalFile_);
    externalFile_ = path;
}

const ClassInfo* TCard::GetNativeTaskClass()
{
    return FindClass("TTask");
}

bool TCard::SetCardImage(const FSRef& file, SInt32 kind)
{
    CFRef<CGImageRef> image(CGImageCreateWithFSRef(file));
    if (!image)
        return false;
    CGSize size = GetSize();
    if (kind == kCardImageTitle)
        size = CGRectScale(CGImageGetSize(image.get()), GetTitleImageFrame().size, CGRectZero).size;
    CGImageRef scaled = CGImageCreateCopyWithSize(image.get(), size);
    if (scaled == nullptr)
        return false;
    SetCardImage(scaled, kind);
    return true;
}

void TCard::SetCardImage(CGImageRef image, SInt32 kind)
{
    CGImageRelease(cardImage_);
    cardImage_ = image;
    cardImageKind_ = image != nullptr ? kind : kCardImageNone;
    titleImageWidth_ = HasTitleImage() ? Float32(CGImageGetSize(image).width) : 0;
    CompositeImage();
}

void TCard::ClearCardImage()
{
    CGImageRelease(cardImage_);
    cardImage_ = nullptr;
    cardImageKind_ = kCardImageNone;
    titleImageWidth_ = 0;
}

void TCard::RemoveCardImage()
{
    ClearCardImage();
    UpdateFace();
}

void TCard::UpdateFace()
{
    CompositeImage();
    ForceUpdate();
}

void TCard::HandleColorChanged(const ATSURGBAlphaColor& color)
{
    color_ = color;
}

void TCard::UpdateScreenImage()
{
    if (TSpriteCanvasProtocol* canvas = GetCanvas())
        canvas->InvokeMethod("UpdateImage");
}

void TCard::UpdateScreenImageWithDelay(double delay)
{
    if (updateAction_ != nullptr) {
        updateAction_->Reset();
        return;
    }
    updateAction_ = TTimer::Create(delay, 0, BRINDLET_METHOD(TCard, HandleUpdateScreenImage), this, nullptr);
}

void TCard::HandleUpdateScreenImage(TObject*)
{
    TTimer::Terminate(updateAction_);
    UpdateScreenImage();
}

void TCard::EditTitle()
{
    if (!IsCanvasValid() || !IsEditable())
        return;
    const CGRect frame = ConvertRectToCanvas(CalculateTitleBoundingFrame());
    editingTitle_ = CardServices::StartTitleEditing(this, frame, title_);
    if (editingTitle_)
        UpdateFace();
}

void TCard::HandleInitialState()
{
    // A new card appears through its opening curl; its title editing starts
    // when the curl ends, or at once when there is none.
    if (!waitingForInitialState_)
        return;
    if (Transition(true))
        return;
    waitingForInitialState_ = false;
    EditTitle();
}

// ---- notifications ----

void TCard::ColorChanged(TDictionary*)
{
    if (!IsCanvasValid() || !IsFocused())
        return;
    ATSURGBAlphaColor picked = color_;
    if (!CardServices::GetPickerColor(picked))
        return;
    picked.alpha = color_.alpha;
    HandleColorChanged(picked);
    UpdateFace();
    PostNotification("SyncSheetChanged");
}

void TCard::HandlePreferencesChanged(TDictionary* parameters)
{
    if (!IsCanvasValid())
        return;
    ShortString key;
    if (auto* values = dynamic_cast<TTypeDictionary*>(parameters))
        key = values->GetStringValue("key");
    static const char* const kLookKeys[] = {"TPreferences.gradientOpacity",  "TPreferences.cardOpacity",
                                            "TPreferences.shadows",          "TPreferences.adjustColor",
                                            "TPreferences.adjustColorLevel", "TPreferences.showMinimize"};
    bool look = false;
    for (const char* name : kLookKeys)
        look = look || key == name;
    // Other controls of the preferences leave the card as it is.
    if (!look)
        return;
    if (key == "TPreferences.showMinimize" && !PrefBoolean("TPreferences.showMinimize") && IsMinimized())
        SetMinimized(false);
    color_.alpha = PrefInteger("TPreferences.cardOpacity", 100) * 0.01f;
    UpdateFace();
    SetNeedsDisplay();
}

void TCard::HandleFontChanged(TDictionary*)
{
    // The title and the content are laid out anew in the new fonts.
    if (!IsCanvasValid())
        return;
    UpdateFace();
    SetNeedsDisplay();
}

void TCard::HandleCanvasPaneAdded(TDictionary*)
{
    editingTitle_ = false;
}

void TCard::HandleTabFocusChanged(TDictionary*) {}

void TCard::HandleMonitorsChanged(TDictionary*)
{
    if (IsCanvasValid())
        Constrain();
}

void TCard::HandleTextInputChanged(TDictionary*)
{
    if (editingTitle_)
        UpdateFace();
}

void TCard::HandleStoppedEditing(TDictionary*)
{
    if (!editingTitle_)
        return;
    editingTitle_ = false;
    UpdateFace();
}

void TCard::HandleTextColorChanged(TDictionary*)
{
    PostNotification("SyncSheetChanged");
    UpdateFace();
}

void TCard::HandleUpdateCard(TDictionary*)
{
    UpdateFace();
}

void TCard::HandleCanvasMouseMoved(TDictionary*)
{
    if (!tracking_ && !trackingTitleImage_)
        return;
    tracking_ = false;
    trackingTitleImage_ = false;
    UpdateFace();
}
