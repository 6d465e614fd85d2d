// The base of every card: a sprite on the screen canvas with a title, a
// colour, a unique identifier, time stamps, an optional title or background
// image, a background mode, the tab state and an optional link to a
// single-card file. It builds its own face (body, frame artwork, title,
// widgets); subclasses draw their rows or pages into the content frame.
//
// A card is abstract: the task-list, page, note and calendar cards derive
// from it and register themselves; TCard itself is not in the class registry.
#pragma once

#include "Globals.h"

#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TTimerUnit.h>
#include <Units/HIToolbox/HICommonThemes.h>

class NSAttributeDictionary;
class NSFont;
class TDictionary;
class TTypeDictionary;

// What a card's image is used for.
enum CardImageKind : SInt32 {
    kCardImageNone = 0,
    kCardImageTitle = 1,
    kCardImageBackground = 2,
};

// How a background image is placed in the body.
enum CardBackgroundMode : SInt32 {
    kBackgroundScaleToFill = 0,
    kBackgroundStretch = 1,
    kBackgroundCenter = 2,
    kBackgroundTile = 3,
};

// The space above and below a card's content.
struct CGEdge {
    CGFloat top;
    CGFloat bottom;
};

// The size every card starts at and never goes below.
inline constexpr CGFloat kCardMinimumSide = 300;

class TCard : public TCardProtocol {
    SPRITE_ABSTRACT_CLASS(TCard, TCardProtocol)

public:
    // A new card of class T centred on the main screen, on `layer` (which
    // takes it over): "Untitled", focused, its title being edited.
    template <typename T>
    static T* CreateUntitled(TSpriteLayerProtocol* layer)
    {
        T* card = AllocateInstance<T>();
        card->PlaceUntitled(layer);
        return card;
    }

    // The same for a card class of the registry; nil (nothing made) for a
    // class that is no card class.
    static TCard* CreateUntitledOfClass(const ClassInfo& cardClass, TSpriteLayerProtocol* layer);

    void Initialize() override;
    void Deallocate() override;
    void CopyInstanceVariables(TObject* source) override;
    void EncodeData(TArchiver* archiver) override;
    void DecodeData(TArchiver* archiver) override;

    // ---- the protocol ----
    NSColor* GetBaseTextColor() override;
    CGRect GetInteriorFrame() override { return interiorFrame_; }
    CGRect GetContentFrame() override;
    CFStringRef GetTitle() override { return title_; }
    ATSURGBAlphaColor GetColor() override { return color_; }
    Float32 GetLuminosity() override;
    CFUUIDRef GetUUID() override { return uuid_; }
    CFDateRef GetTimeStamp() override { return timeStamp_; }
    void RenewTimeStamp(CFAbsoluteTime time) override;
    void SetRecentSyncTime(CFAbsoluteTime time) override;
    CFDateRef GetRecentSyncTime() override { return recentSyncTime_; }
    Boolean IsPrinting() override;
    Boolean IsEditable() override { return true; }
    void SetNeedsAdjustHeight(Boolean flag) override { needsAdjustHeight_ = flag; }
    void AdjustHeight() override;
    void HandleTaskChanged() override {}

    // ---- model ----
    // The title becomes a new mutable copy of `text`; nothing redrawn.
    void SetTitle(CFStringRef text);
    // The title's characters replaced, then the face rebuilt.
    virtual void HandleTitleChanged(CFStringRef text);
    // The colour as drawn: with "TPreferences.adjustColor" the same here.
    ATSURGBAlphaColor GetAbsoluteColor() const { return color_; }
    void SetColor(Float32 red, Float32 green, Float32 blue, Float32 alpha);
    void SetColor(const NSColor* color, Float32 alpha);
    CGImageRef GetCardImage() const { return cardImage_; }
    SInt32 GetCardImageKind() const { return cardImageKind_; }
    bool HasTitleImage() const { return cardImage_ != nullptr && cardImageKind_ == kCardImageTitle; }
    bool HasBackgroundImage() const { return cardImage_ != nullptr && cardImageKind_ == kCardImageBackground; }
    // The image of `file` as the title (scaled into the title-image frame)
    // or background image (scaled to the card); false when it cannot be read.
    bool SetCardImage(const FSRef& file, SInt32 kind);
    // Takes over `image` (the caller's reference) without scaling it.
    void SetCardImage(CGImageRef image, SInt32 kind);
    // The Open dialogs "Add Title Image" and "Add Background Image"; their
    // actions take the chosen file under "file".
    void AddTitleImage();
    void AddBackgroundImage();
    void HandleAddTitleImage(TDictionary* parameters);
    void HandleAddBackgroundImage(TDictionary* parameters);
    void ClearCardImage();
    void RemoveCardImage();
    bool IsMinimized() const { return minimize_; }
    void SetMinimized(bool flag);
    bool IsObscured() const { return obscured_; }
    void SetObscured(bool flag) { obscured_ = flag; }
    SInt32 GetBackgroundImageMode() const { return backgroundMode_; }
    void SetBackgroundImageMode(SInt32 mode);
    SInt32 GetTabEdge() const { return tabEdge_; }
    bool IsTabOpen() const { return tabOpen_; }
    bool IsTab() const { return tabEdge_ != 0; }
    // Docks the card as a tab at the edge (0 undocks), shut or open.
    void SetTabEdge(SInt32 edge, bool open);
    bool IsTabVertical() const { return tabEdge_ == 2 || tabEdge_ == 3; }
    bool IsTabHorizantal() const { return tabEdge_ == 1 || tabEdge_ == 4; }
    CGRect GetSavedTabFrame() const { return savedTabFrame_; }
    CFStringRef GetExternalFile() const { return externalFile_; }
    // The POSIX path of the single-card file the card is linked to; nil unlinks.
    void SetExternalFile(CFStringRef path);
    bool IsEditingTitle() const { return editingTitle_; }
    bool IsWaitingForInitialState() const { return waitingForInitialState_; }
    bool IsWaitingForHeightAdjustment() const { return needsAdjustHeight_; }
    // The class of the rows the card makes (the task row's).
    virtual const ClassInfo* GetNativeTaskClass();

    // ---- look (see UGenericCardDrawing.cpp) ----
    void HandleDrawComposite(CGContextRef context, bool& again, CGRect frame) override;
    void HandleDrawImage(CGImageRef image, CGRect rect, CGContextRef context) override;
    void HandleProcess() override;
    virtual void DrawPrinting(CGContextRef context);
    virtual void DrawBackground(CGContextRef context, CGRect rect);
    virtual void DrawMinimizedBackground(CGContextRef context, CGRect rect);
    virtual void DrawBackgroundImage(CGContextRef context, CGRect rect);
    virtual void DrawTitleImage(CGContextRef context);
    virtual void DrawScreenTracking(CGContextRef context);
    virtual void DrawExpandedTab(CGContextRef context, CGRect rect, SInt32 edge);
    virtual void DrawTab(CGContextRef context, CGRect rect, SInt32 edge);
    virtual void DrawTabTitle(CGContextRef context, CGRect rect, SInt32 edge);
    virtual void HandleDrawWidgets(CGContextRef context);
    void DrawTitle(CGContextRef context);
    // A one-line label of white text on the floating panes' label
    // background, at the interior's right edge, centred vertically.
    void DrawLabel(CFStringRef text, CGContextRef context);
    // The card as it shows inside another card: `rect` in the host's
    // space, drawn at `scale`.
    void DrawEmbeddedRepresentation(CGContextRef context, CGRect rect, CGFloat scale, bool highlighted);
    void DrawTitleImageHilite(CGContextRef context);
    void DrawTrackingHilite(CGContextRef context);
    // The body as it stands inside the frame artwork of `rect`.
    CGRect GetBodyFrame(CGRect rect) const;
    CGRect GetCloseButtonFrame();
    CGRect GetGrowBoxFrame();
    CGRect GetMinimizeFrame();
    CGRect GetTitleImageFrame();
    CGRect GetTitleFrame() const { return titleFrame_; }
    CGEdge GetContentMargin();
    UInt32 GetTitleMaximumWidth();
    CGRect CalculateTitleBoundingFrame();
    // The tab's rectangle for an edge: the card's bounds cut to a strip
    // (whole steps of 32 points) along that edge.
    CGRect GetExpandedTabFrame(CGRect rect, SInt32 edge);
    CGRect GetTabBounds();
    // New attributes the caller releases.
    NSAttributeDictionary* CopyTitleAttributes();
    NSFont* GetTabFont();
    CGRect GetAlertFrame();
    void UpdateFace();
    // The card as on the screen, into a drag image.
    void HandleDrawDragImage(CGContextRef context, CGRect rect);
    bool IsTransitioning() { return IsAnimating(); }
    virtual void HandleColorChanged(const ATSURGBAlphaColor& color);
    // Asks the canvas, by name, to refresh its image; after a delay, once
    // however often asked within it (the card's own timer, ended with it).
    void UpdateScreenImage();
    void UpdateScreenImageWithDelay(double delay = 1.0);
    bool IsUpdatePending() const { return updateAction_ != nullptr; }

    // ---- notification handlers (by name) ----
    void ColorChanged(TDictionary* parameters);
    void HandlePreferencesChanged(TDictionary* parameters);
    void HandleFontChanged(TDictionary* parameters);
    void HandleCanvasPaneAdded(TDictionary* parameters);
    void HandleTabFocusChanged(TDictionary* parameters);
    void HandleMonitorsChanged(TDictionary* parameters);
    void HandleTextInputChanged(TDictionary* parameters);
    void HandleStoppedEditing(TDictionary* parameters);
    void HandleTextColorChanged(TDictionary* parameters);
    void HandleUpdateCard(TDictionary* parameters);
    void HandleCanvasMouseMoved(TDictionary* parameters);

    // Starts editing the title over its frame through the canvas text
    // field's service (see CardServices); nothing while none is installed.
    virtual void EditTitle();
    void HandleInitialState() override;

    // ---- the page-curl transition (UGenericCardTransition.cpp) ----
    // Curls the card in (opening) or away (closing) when transitions are
    // on; false when none was started (the caller goes on at once).
    virtual bool Transition(bool opening);
    // The animator's ended action: title editing that waited for the
    // opening starts, a closing card leaves its layer.
    void HandleTransitionEnded(TObject* animator);
    // Closes the card through its closing transition, or at once.
    void CloseWithTransition();
    bool IsClosing() const { return closing_; }

protected:
    TCard() = default;

    void PlaceUntitled(TSpriteLayerProtocol* layer);
    void HandleUpdateScreenImage(TObject* sender);
    void TakeChosenImage(TDictionary* parameters, SInt32 kind);
    // A running transition no longer reports to the card.
    void ForgetTransition();

private:
    // The mouse, drag and tab-tracking state of the card's mouse handling
    // joins these fields with that handling.
    bool tracking_ = false;
    bool trackingTitleImage_ = false;
    CFMutableStringRef title_ = nullptr;
    CFUUIDRef uuid_ = nullptr;
    CFDateRef timeStamp_ = nullptr;
    CFDateRef recentSyncTime_ = nullptr;
    CGImageRef cardImage_ = nullptr;
    SInt32 cardImageKind_ = kCardImageNone;
    ATSURGBAlphaColor color_ = {0, 0, 1, 1};
    CGRect titleFrame_ = CGRectZero;
    bool editingTitle_ = false;
    bool editTitleAfterTransition_ = false;
    bool waitingForInitialState_ = false;
    bool closing_ = false;
    bool minimizeChanged_ = false;
    bool minimize_ = false;
    bool obscured_ = false;
    CGRect titleImageFrame_ = CGRectZero;
    TTimer* updateAction_ = nullptr;
    Float32 titleImageWidth_ = 0;
    CFStringRef externalFile_ = nullptr;
    TTimer* dragDelayTimer_ = nullptr;
    bool needsAdjustHeight_ = false;
    CGRect interiorFrame_ = CGRectZero;
    SInt32 backgroundMode_ = kBackgroundScaleToFill;
    SInt32 screenTrackingEdge_ = 0;
    SInt32 tabEdge_ = 0;
    bool tabOpen_ = false;
    CGRect savedTabFrame_ = CGRectZero;
    // Made by Copy (which flags only copies given parameters).
    bool copied_ = false;
};

// Whether the two cards have the same identifier; false when either is nil.
bool CompareCards(TCard* a, TCard* b);

// The 4-byte big-endian single of a colour or frame value, and back: a
// value stored in any other length reads as absent (false, `value` untouched).
void ArchiveSetSingle(TArchiver* archiver, const ShortString& key, Float32 value);
bool ArchiveGetSingle(const TArchiver* archiver, const ShortString& key, Float32& value);

// The artwork all cards share, loaded by InitializeUGenericCardUnit.
struct CardArtwork {
    HITheme9PartImage frameNormal{};
    HITheme9PartImage frameFocused{};
    HITheme3PartImage minimizedNormal{};
    HITheme3PartImage minimizedFocused{};
    CGImageRef close = nullptr;
    CGImageRef growBox = nullptr;
    CGImageRef minimizeOpened = nullptr;
    CGImageRef minimizeClosed = nullptr;
};
const CardArtwork& GetCardArtwork();

// Loads the shared artwork (again: the bundle's resources may have moved,
// as in tests). Call after the sprite engine's initialisation.
void InitializeUGenericCardUnit();
