// Windows: the framework object behind a window loaded from a nib. It binds
// itself to the window (the window's reference constant), turns the
// window's events into hooks, shows and hides the window (with a
// transition, or as a sheet), keeps the window's bounds and document list
// in the preferences, runs the close path (ask to save a dirty document,
// hand several to the review of unsaved files) and answers the standard
// document commands. A window can also turn itself into a borderless window
// whose content is clear wherever its controls do not draw (Transparent),
// and be dragged or resized by the user from a mouse press of its own.
#pragma once

#include <ApplicationFramework/Classes/TDocumentListUnit.h>
#include <ApplicationFramework/Classes/TEventHandlerUnit.h>
#include <ApplicationFramework/Classes/TViewUnit.h>

#include <HIToolbox/Nibs.h>

struct ApplicationOpenCommandOptions;

// Window option bits.
typedef UInt32 TWindowOptions;
enum : TWindowOptions {
    // Remember the window's document list in the preferences.
    kWindowOptionRememberDocuments = 1,
    // The window's list goes into the application's "DocumentList".
    kWindowOptionApplicationDocumentList = 2,
};

// Creator of every window property the framework sets.
inline constexpr OSType kWindowPropertyCreator = FourCC("WIND");

class TControlTrackingHandler;
class TWindow;

// What keeps a transparent window clear: on its content view, the view's
// drawing clears the view (the controls inside still draw over it); on the
// window, the opaque part of the window is none, and every point of the
// window is content, once the window's HandleHitTest has seen it.
class TTransparentWindowHandler : public TEventHandler {
    BRINDLET_CLASS(TTransparentWindowHandler, TEventHandler)

public:
    // A handler on `target` for the view it clears and its window (neither
    // is retained: the window owns the handler).
    static TTransparentWindowHandler* Create(EventTargetRef target, HIViewRef view, TWindow* window);

    void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result) override;

protected:
    TTransparentWindowHandler() = default;

private:
    HIViewRef view_ = nullptr;
    TWindow* window_ = nullptr;
};

class TWindow : public TView {
    BRINDLET_CLASS(TWindow, TView)

public:
    // The window named `name` in the nib; on failure the object is still
    // made, around no window, and "CreateWindowFromNib: <status>" is
    // written.
    static TWindow* Create(const ShortString63& name, IBNibRef nib);

    void Initialize() override;
    void Deallocate() override;

    // Set before Initialize (by a subclass, or between Allocate and
    // Initialize): the window is then built with them.
    void SetNibWindow(const ShortString63& name, IBNibRef nib);
    void SetOptions(TWindowOptions options) { options_ = options; }
    // Initial content bounds; 0 or less keeps the nib's edge.
    void SetInitialBounds(Float32 x, Float32 y, Float32 width, Float32 height);
    void SetSheetParent(WindowRef parent) { sheetParent_ = parent; }
    // Retained; given the window at initialisation (AttachWindow) and
    // released with it.
    void SetAttachedObject(TObject* object);

    TWindowOptions GetOptions() const { return options_; }
    TDocumentList* GetDocumentList() const { return documentList_; }
    WindowRef GetWindowRef() const { return window_; }
    IBNibRef GetNib() const { return nib_; }
    HIViewRef GetRoot();
    bool IsVisible();
    Float32 GetWidth();
    Float32 GetHeight();
    // The content bounds in global coordinates (whole points).
    CGRect GetFrame();
    void SetFrame(const CGRect& frame);
    void SetTitle(CFStringRef title);
    void SetProperty(OSType tag, const void* value, UInt32 size);
    void SetTransitionEffect(WindowTransitionEffect effect) { transitionEffect_ = effect; }
    void SetTransitionDelay(double seconds) { transitionDelay_ = seconds; }
    void SetTransitionAsync(bool async) { transitionAsync_ = async; }
    TDocument* ActiveDocument();
    // Whether the window shows that file as its root; false here.
    virtual bool CompareDocumentRoot(const FSRef& item);
    // The frame of the screen of the display, below its menu bar; the main
    // screen's when no screen answers for the display.
    void FullScreen(UInt32 displayID);
    // Every screen's frame together, or the main screen's.
    void FullScreen(bool allScreens);
    // Borderless, without a shadow and not resizable, fully opaque as a
    // whole but with a clear content: only what the controls draw shows.
    // Hit tests of the window ask HandleHitTest.
    void Transparent();

    // A visible window is hidden; a hidden one is shown and selected.
    void Toggle();
    // Brings the window to the front and makes it active.
    void Select();
    // Lets the user drag the window, from `start` (global coordinates, a
    // point where the mouse button went down) until the button is
    // released; the mouse is held within `limits` (global; nil: anywhere).
    void Drag(CGPoint start, const Rect* limits = nullptr);
    // Lets the user resize the window from `start` (global) until the
    // button is released, the content's width and height kept within
    // `limits` (left, top: the least width and height; right, bottom: the
    // greatest; nil: any size). Answers the new content bounds.
    CGRect Resize(CGPoint start, const Rect* limits = nullptr);
    TControlTrackingHandler* GetTrackingHandler() const { return trackingHandler_; }

    virtual void Show();
    virtual void Hide();
    virtual void HandleClosing(OSStatus& result);
    virtual void HandleActivated(OSStatus& result);
    virtual void HandleDeactivated(OSStatus& result);
    virtual void HandleShown(OSStatus& result);
    virtual void HandleHidden(OSStatus& result);
    virtual void HandleShowing(OSStatus& result);
    virtual void HandleHiding(OSStatus& result);
    virtual void HandleBoundsChanged(OSStatus& result);
    virtual void HandleHitTest(CGPoint point, OSStatus& result);
    virtual void HandleDrawBackground(CGContextRef context, CGRect bounds, OSStatus& result);
    virtual void HandleContentClicked(CGPoint point, UInt16 clickCount, UInt32 button, UInt32 modifiers,
                                      OSStatus& result);

    void SelectViewObject() override;
    void ReleaseViewObject() override;
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;

    // The close path. HandleCloseEvent asks about dirty documents first
    // (Closing), then closes; Close lets HandleClosing veto, then hides the
    // window, saves what it keeps, disposes of the window and releases the
    // object (result noErr).
    OSStatus HandleCloseEvent(EventRef event);
    OSStatus Closing(EventRef event);
    void Close(OSStatus& result);
    void Remove();

    // The layout: "TWindowLayout.<preference key>", 9 bytes.
    void SaveLayout();
    bool RestoreLayout();
    void UpdateModifiedState();
    void RemoveDocument(TDocument* document);
    // Opens the item; here nothing (handled and result stay).
    virtual void OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions& options,
                              OSStatus& result);
    virtual void ProcessDocumentCommand(const HICommandExtended& command, EventRef event, TDocument* document,
                                        OSStatus& result);
    // The document list in the preferences: "<preference key>.DocumentList".
    void AppendDocumentList(CFTypeRef item);
    bool SaveDocumentList(CFArrayRef list);
    virtual void UpdateToolbarStatus();

    // The commands of the standard document menu items.
    OSStatus HandleCloseCommand();
    OSStatus HandleSaveCommand();
    OSStatus HandleSaveAsCommand();
    OSStatus HandleRevertCommand();

protected:
    TWindow() = default;

    // Asks the user whether to save the one dirty document of the window
    // being closed (`event`, nil when none). Answers through the document:
    // saved or discarded, the window is closed; cancelled, it stays.
    virtual void AskToSaveDocument(TDocument* document, EventRef event);
    // Lets the user name a file for the document and save it there.
    virtual void AskToSaveDocumentAs(TDocument* document);

private:
    friend OSStatus HandleWindowEvents(EventHandlerCallRef, EventRef, void*);
    friend OSStatus HandleContentViewEvents(EventHandlerCallRef, EventRef, void*);

    IBNibRef nib_ = nullptr;
    ShortString63 nibWindowName_;
    WindowRef window_ = nullptr;
    TDocumentList* documentList_ = nullptr;
    TObject* attachedObject_ = nullptr;
    TTransparentWindowHandler* transparentWindowHandler_ = nullptr;
    TTransparentWindowHandler* transparentContentHandler_ = nullptr;
    TControlTrackingHandler* trackingHandler_ = nullptr;
    EventHandlerRef windowHandler_ = nullptr;
    EventHandlerRef contentHandler_ = nullptr;
    WindowTransitionEffect transitionEffect_ = 0;
    double transitionDelay_ = 1.0 / 6.0;
    bool transitionAsync_ = false;
    TWindowOptions options_ = 0;
    CFArrayRef closingList_ = nullptr;
    Float32 width_ = 0, height_ = 0, x_ = 0, y_ = 0;
    WindowRef sheetParent_ = nullptr;
};

// The window's framework object: its reference constant when that is a
// live TWindow; nil otherwise.
TWindow* GetWindowObject(WindowRef window);

OSStatus HandleWindowEvents(EventHandlerCallRef callRef, EventRef event, void* window);
OSStatus HandleContentViewEvents(EventHandlerCallRef callRef, EventRef event, void* window);
