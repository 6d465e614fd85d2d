#include "TWindowUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TControlTrackingUnit.h>
#include <ApplicationFramework/Classes/TControlUnit.h>
#include <ApplicationFramework/Classes/TMenuUnit.h>
#include <ApplicationFramework/Classes/TNavDialogsUnit.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/Drag.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <cstring>
#include <string>

BRINDLET_DEFINE_CLASS(TWindow, TView)
BRINDLET_DEFINE_CLASS(TTransparentWindowHandler, TEventHandler)

namespace {

const ShortString kLayoutPrefix("TWindowLayout.");

// The stored layout: the content bounds as a QuickDraw rectangle and one
// zero byte.
constexpr size_t kLayoutSize = 9;

ShortString LayoutKey(const ShortString& preferenceKey)
{
    return ShortString(std::string(kLayoutPrefix.View()) + std::string(preferenceKey.View()));
}

ShortString DocumentListKey(const ShortString& preferenceKey)
{
    return ShortString(std::string(preferenceKey.View()) + ".DocumentList");
}

}  // namespace

TWindow* GetWindowObject(WindowRef window)
{
    TObject* object = static_cast<TObject*>(GetWRefCon(window));
    if (reinterpret_cast<intptr_t>(object) <= 0 || !TObject::IsLiveObject(object) ||
        !object->GetClass().InheritsFrom(TWindow::StaticClass()))
        return nullptr;
    return static_cast<TWindow*>(object);
}

TWindow* TWindow::Create(const ShortString63& name, IBNibRef nib)
{
    TWindow* window = Allocate();
    window->SetNibWindow(name, nib);
    window->Initialize();
    return window;
}

void TWindow::SetNibWindow(const ShortString63& name, IBNibRef nib)
{
    nib_ = nib;
    nibWindowName_ = name;
}

void TWindow::SetInitialBounds(Float32 x, Float32 y, Float32 width, Float32 height)
{
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
}

void TWindow::SetAttachedObject(TObject* object)
{
    RetainObject(attachedObject_, object);
}

void TWindow::Initialize()
{
    if (window_ == nullptr && nib_ != nullptr) {
        const OSStatus status = CreateWindowFromNib(nib_, CFSTR(ShortString(nibWindowName_)), &window_);
        if (status != noErr) {
            window_ = nullptr;
            Diagnostics::WriteLine("CreateWindowFromNib: " + std::to_string(status));
        }
    }
    Inherited::Initialize();
    documentList_ = TDocumentList::Create();
    if (window_ == nullptr)
        return;

    trackingHandler_ = TControlTrackingHandler::Create(window_);
    // A sheet keeps its title-bar attribute: here a window without one
    // draws its own background, and a sheet's should stay the standard one.
    if (sheetParent_ != nullptr)
        HIWindowChangeClass(window_, kSheetWindowClass);
    // Drags over the window reach the views that take them.
    SetAutomaticControlDragTrackingEnabledForWindow(window_, true);
    SetViewObject(reinterpret_cast<HIObjectRef>(window_));
    InstallCommandHandler(window_);
    SetWRefCon(window_, this);
    TDocumentList* list = documentList_;
    SetWindowProperty(window_, kWindowPropertyCreator, kWindowPropertyTagDocumentList, sizeof list, &list);
    if (attachedObject_ != nullptr && attachedObject_->FindMethod("SetWindow") != nullptr)
        attachedObject_->InvokeMethod("SetWindow", window_);

    static const EventTypeSpec kWindowEvents[] = {
        {kEventClassWindow, kEventWindowClose},       {kEventClassWindow, kEventWindowClosed},
        {kEventClassWindow, kEventWindowDispose},     {kEventClassWindow, kEventWindowActivated},
        {kEventClassWindow, kEventWindowDeactivated}, {kEventClassWindow, kEventWindowBoundsChanged},
        {kEventClassWindow, kEventWindowShowing},     {kEventClassWindow, kEventWindowHiding},
        {kEventClassWindow, kEventWindowShown},       {kEventClassWindow, kEventWindowHidden},
        {kEventClassWindow, kEventWindowPaint},
    };
    InstallEventHandler(GetWindowEventTarget(window_), HandleWindowEvents, std::size(kWindowEvents), kWindowEvents,
                        this, &windowHandler_);
    static const EventTypeSpec kContentEvents[] = {
        {kEventClassControl, kEventControlClick},
        {kEventClassControl, kEventControlHit},
        {kEventClassControl, kEventControlHitTest},
    };
    InstallEventHandler(GetControlEventTarget(GetRoot()), HandleContentViewEvents, std::size(kContentEvents),
                        kContentEvents, this, &contentHandler_);

    // The initial bounds replace the nib's edges only where they are given.
    Rect bounds{};
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    if (x_ > 0) {
        const SInt16 width = bounds.right - bounds.left;
        bounds.left = static_cast<SInt16>(x_);
        bounds.right = bounds.left + width;
    }
    if (y_ > 0) {
        const SInt16 height = bounds.bottom - bounds.top;
        bounds.top = static_cast<SInt16>(y_);
        bounds.bottom = bounds.top + height;
    }
    if (width_ > 0)
        bounds.right = bounds.left + static_cast<SInt16>(width_);
    if (height_ > 0)
        bounds.bottom = bounds.top + static_cast<SInt16>(height_);
    SetWindowBounds(window_, kWindowContentRgn, &bounds);

    if (GetPreferences() != nullptr && !GetPreferenceKey().IsEmpty())
        RestoreLayout();
    SetWindowModified(window_, false);
    HIViewCreateSubControls(GetRoot(), this);
    AdvanceFocus();
}

void TWindow::Deallocate()
{
    ReleaseObject(transparentWindowHandler_);
    ReleaseObject(transparentContentHandler_);
    ReleaseObject(attachedObject_);
    ReleaseObject(documentList_);
    ReleaseObject(trackingHandler_);
    if (closingList_ != nullptr)
        CFRelease(closingList_);
    closingList_ = nullptr;
    if (GetPreferences() != nullptr)
        GetPreferences()->Synchronize();
    if (window_ != nullptr && GetWRefCon(window_) == this)
        SetWRefCon(window_, nullptr);
    if (windowHandler_ != nullptr)
        RemoveEventHandler(windowHandler_);
    if (contentHandler_ != nullptr)
        RemoveEventHandler(contentHandler_);
    windowHandler_ = contentHandler_ = nullptr;
    Inherited::Deallocate();
}

// ---- accessors ----

HIViewRef TWindow::GetRoot()
{
    return HIViewGetRoot(window_);
}

bool TWindow::IsVisible()
{
    return window_ != nullptr && IsWindowVisible(window_);
}

Float32 TWindow::GetWidth()
{
    Rect bounds{};
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    return bounds.right - bounds.left;
}

Float32 TWindow::GetHeight()
{
    Rect bounds{};
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    return bounds.bottom - bounds.top;
}

CGRect TWindow::GetFrame()
{
    Rect bounds{};
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    return CGRectMake(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
}

void TWindow::SetFrame(const CGRect& frame)
{
    Rect bounds{};
    bounds.left = static_cast<SInt16>(frame.origin.x);
    bounds.top = static_cast<SInt16>(frame.origin.y);
    bounds.right = static_cast<SInt16>(frame.origin.x + frame.size.width);
    bounds.bottom = static_cast<SInt16>(frame.origin.y + frame.size.height);
    SetWindowBounds(window_, kWindowContentRgn, &bounds);
}

void TWindow::SetTitle(CFStringRef title)
{
    SetWindowTitleWithCFString(window_, title);
}

void TWindow::SetProperty(OSType tag, const void* value, UInt32 size)
{
    SetWindowProperty(window_, kWindowPropertyCreator, tag, size, value);
}

TDocument* TWindow::ActiveDocument()
{
    return documentList_ != nullptr ? documentList_->GetActive() : nullptr;
}

bool TWindow::CompareDocumentRoot(const FSRef&)
{
    return false;
}

void TWindow::FullScreen(UInt32 displayID)
{
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    NSScreen* screen = NSScreenUtilities::screenForDisplay(displayID);
    if (screen != nullptr) {
        const NSRect frame = NSScreenUtilities::localFrame(screen);
        SetFrame(CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, frame.size.height));
    }
    ClosePool(pool);
    if (screen == nullptr)
        FullScreen(false);
}

void TWindow::FullScreen(bool allScreens)
{
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    const NSRect frame = allScreens ? NSScreenUtilities::boundingFrameForDevices()
                                    : NSScreenUtilities::localFrame(NSScreen::mainScreen());
    SetFrame(CGRectMake(frame.origin.x, frame.origin.y, frame.size.width, frame.size.height));
    ClosePool(pool);
}

void TWindow::Transparent()
{
    if (window_ == nullptr)
        return;
    HIViewRef content = nullptr;
    if (HIViewFindByID(GetRoot(), kHIViewWindowContentID, &content) != noErr || content == nullptr)
        return;
    // Made transparent twice, the window keeps one pair of handlers.
    ReleaseObject(transparentContentHandler_);
    ReleaseObject(transparentWindowHandler_);
    transparentContentHandler_ = TTransparentWindowHandler::Create(GetControlEventTarget(content), content, this);
    transparentContentHandler_->AppendEvent(kEventClassControl, kEventControlDraw);
    transparentWindowHandler_ = TTransparentWindowHandler::Create(GetWindowEventTarget(window_), content, this);
    transparentWindowHandler_->AppendEvent(kEventClassWindow, kEventWindowGetRegion);
    transparentWindowHandler_->AppendEvent(kEventClassWindow, kEventWindowHitTest);
    ChangeWindowAttributes(window_, kWindowNoTitleBarAttribute | kWindowNoShadowAttribute, kWindowResizableAttribute);
    SetWindowAlpha(window_, 1.0);
    HIWindowChangeClass(window_, kDocumentWindowClass);
    // What was drawn with the old background goes.
    HIWindowInvalidate(window_);
}

TTransparentWindowHandler* TTransparentWindowHandler::Create(EventTargetRef target, HIViewRef view, TWindow* window)
{
    TTransparentWindowHandler* handler = AllocateInstance<TTransparentWindowHandler>();
    handler->view_ = view;
    handler->window_ = window;
    handler->SetTargetBeforeInstalling(target);
    handler->Initialize();
    return handler;
}

void TTransparentWindowHandler::HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result)
{
    if (eventClass == kEventClassControl && eventKind == kEventControlDraw) {
        CGContextRef context = nullptr;
        HIRect bounds = {};
        if (GetParameter(kEventParamCGContextRef, typeCGContextRef, sizeof context, &context) != noErr ||
            context == nullptr || HIViewGetBounds(view_, &bounds) != noErr)
            return;
        CGContextClearRect(context, bounds);
        result = noErr;
        return;
    }
    if (eventClass != kEventClassWindow)
        return;
    if (eventKind == kEventWindowGetRegion) {
        WindowRegionCode code = 0;
        // The opaque part is none: the region asked for is left empty, as
        // the caller hands it over.
        if (GetParameter(kEventParamWindowRegionCode, typeWindowRegionCode, sizeof code, &code) == noErr &&
            code == kWindowOpaqueRgn)
            result = noErr;
        return;
    }
    if (eventKind == kEventWindowHitTest) {
        HIPoint point = {};
        GetParameter(kEventParamMouseLocation, typeHIPoint, sizeof point, &point);
        if (!TObject::IsLiveObject(window_) || window_->GetWindowRef() == nullptr)
            return;
        HIPointConvert(&point, kHICoordSpace72DPIGlobal, nullptr, kHICoordSpaceWindow, window_->GetWindowRef());
        window_->HandleHitTest(point, result);
        const SInt16 part = wInContent;
        SetParameter(kEventParamWindowDefPart, typeWindowDefPartCode, sizeof part, &part);
    }
}

// ---- showing and hiding ----

void TWindow::Show()
{
    if (window_ == nullptr || IsVisible())
        return;
    WindowClass windowClass = 0;
    GetWindowClass(window_, &windowClass);
    if (windowClass == kSheetWindowClass && sheetParent_ != nullptr) {
        ShowSheetWindow(window_, sheetParent_);
    } else if (transitionEffect_ == 0) {
        ShowWindow(window_);
    } else {
        TransitionWindowOptions options{};
        options.version = 0;
        options.duration = transitionDelay_;
        options.window = window_;
        const HIRect frame = GetFrame();
        TransitionWindowWithOptions(window_, transitionEffect_, kWindowShowTransitionAction, &frame, transitionAsync_,
                                    &options);
    }
    HIViewAdvanceFocus(GetRoot(), 0);
}

void TWindow::Hide()
{
    if (!IsVisible())
        return;
    WindowClass windowClass = 0;
    GetWindowClass(window_, &windowClass);
    if (windowClass == kSheetWindowClass && sheetParent_ != nullptr) {
        HideSheetWindow(window_);
    } else if (transitionEffect_ == 0) {
        HideWindow(window_);
    } else {
        TransitionWindowOptions options{};
        options.version = 0;
        options.duration = transitionDelay_;
        options.window = window_;
        TransitionWindowWithOptions(window_, transitionEffect_, kWindowHideTransitionAction, nullptr, transitionAsync_,
                                    &options);
    }
}

void TWindow::Toggle()
{
    if (IsVisible()) {
        Hide();
    } else {
        Show();
        Select();
    }
}

void TWindow::Select()
{
    SelectWindow(window_);
}

void TWindow::Drag(CGPoint start, const Rect* limits)
{
    const Point at = {static_cast<SInt16>(std::lround(start.y)), static_cast<SInt16>(std::lround(start.x))};
    DragWindow(window_, at, limits);
}

CGRect TWindow::Resize(CGPoint start, const Rect* limits)
{
    const Point at = {static_cast<SInt16>(std::lround(start.y)), static_cast<SInt16>(std::lround(start.x))};
    Rect bounds{};
    ResizeWindow(window_, at, limits, &bounds);
    return GetFrame();
}

// ---- hooks: nothing here ----

void TWindow::HandleClosing(OSStatus&) {}
void TWindow::HandleActivated(OSStatus&) {}
void TWindow::HandleDeactivated(OSStatus&) {}
void TWindow::HandleShown(OSStatus&) {}
void TWindow::HandleHidden(OSStatus&) {}
void TWindow::HandleShowing(OSStatus&) {}
void TWindow::HandleHiding(OSStatus&) {}
void TWindow::HandleBoundsChanged(OSStatus&) {}

void TWindow::HandleHitTest(CGPoint, OSStatus& result)
{
    result = noErr;
}

void TWindow::HandleDrawBackground(CGContextRef, CGRect, OSStatus&) {}
void TWindow::HandleContentClicked(CGPoint, UInt16, UInt32, UInt32, OSStatus&) {}

void TWindow::SelectViewObject()
{
    Inherited::SelectViewObject();
    SelectWindow(window_);
}

void TWindow::ReleaseViewObject()
{
    Remove();
}

// ---- events ----

OSStatus HandleWindowEvents(EventHandlerCallRef, EventRef event, void* userData)
{
    OSStatus result = eventNotHandledErr;
    TWindow* window = static_cast<TWindow*>(userData);
    if (!TObject::IsLiveObject(window))
        return result;
    switch (GetEventKind(event)) {
    case kEventWindowActivated:
        window->HandleActivated(result);
        break;
    case kEventWindowDeactivated:
        window->HandleDeactivated(result);
        break;
    case kEventWindowShowing:
        window->HandleShowing(result);
        break;
    case kEventWindowHiding:
        window->HandleHiding(result);
        break;
    case kEventWindowShown:
        window->HandleShown(result);
        break;
    case kEventWindowHidden:
        window->HandleHidden(result);
        break;
    case kEventWindowBoundsChanged:
        window->HandleBoundsChanged(result);
        break;
    case kEventWindowClose:
        result = window->HandleCloseEvent(event);
        break;
    case kEventWindowDispose:
        // The window is going whatever its object thinks: the object must
        // not reach for it afterwards.
        SetWRefCon(window->window_, nullptr);
        window->window_ = nullptr;
        window->windowHandler_ = nullptr;
        window->contentHandler_ = nullptr;
        window->Release();
        break;
    case kEventWindowPaint: {
        CGContextRef context = nullptr;
        if (GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                              &context) == noErr &&
            context != nullptr)
            window->HandleDrawBackground(context, CGRectMake(0, 0, window->GetWidth(), window->GetHeight()), result);
        break;
    }
    default:
        break;
    }
    return result;
}

OSStatus HandleContentViewEvents(EventHandlerCallRef, EventRef event, void* userData)
{
    OSStatus result = eventNotHandledErr;
    TWindow* window = static_cast<TWindow*>(userData);
    if (!TObject::IsLiveObject(window))
        return result;
    switch (GetEventKind(event)) {
    case kEventControlHitTest: {
        const ControlPartCode part = 128;
        result = SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        break;
    }
    case kEventControlClick: {
        const ClickParameters click = GetClickParameters(event);
        window->HandleContentClicked(click.point, static_cast<UInt16>(click.clickCount), click.button, click.modifiers,
                                     result);
        break;
    }
    default:
        break;
    }
    return result;
}

// ---- closing ----

OSStatus TWindow::HandleCloseEvent(EventRef event)
{
    OSStatus result = eventNotHandledErr;
    // Every dirty document is asked about, not only the active one: a list
    // whose active document was removed may still hold unsaved work.
    if (documentList_ != nullptr && documentList_->ContainsDirtyDocuments())
        result = Closing(event);
    if (result == eventNotHandledErr)
        Close(result);
    return result;
}

OSStatus TWindow::Closing(EventRef event)
{
    OSStatus result = eventNotHandledErr;
    if ((options_ & kWindowOptionRememberDocuments) && GetPreferences() != nullptr && closingList_ == nullptr)
        closingList_ = documentList_->CopyList();
    CFArrayRef dirty = documentList_->GetDirtyDocuments();
    const CFIndex count = CFArrayGetCount(dirty);
    if (count == 1) {
        result = noErr;
        AskToSaveDocument(static_cast<TDocument*>(const_cast<void*>(CFArrayGetValueAtIndex(dirty, 0))), event);
    } else if (count > 1) {
        result = noErr;
        EventRef review = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &review);
        HICommand command{};
        command.commandID = FourCC("revd");
        TWindow* self = this;
        SetEventParameter(review, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        SetEventParameter(review, FourCC("revp"), typeWindowRef, sizeof self, &self);
        if (event != nullptr)
            SetEventParameter(review, FourCC("reve"), typeEventRef, sizeof event, &event);
        SetEventParameter(review, FourCC("revd"), typeCFTypeRef, sizeof dirty, &dirty);
        SendEventToEventTarget(review, GetApplicationEventTarget());
        ReleaseEvent(review);
    }
    CFRelease(dirty);
    return result;
}

void TWindow::AskToSaveDocument(TDocument* document, EventRef event)
{
    // The ask-to-save sheet answers through the document: saved or
    // dropped, it leaves the window and the close goes on.
    TNavDialogs* dialog = TNavDialogs::Create();
    dialog->SetParent(window_);
    dialog->SetActionWithEvent(event);
    dialog->SaveDialog(document);
}

void TWindow::AskToSaveDocumentAs(TDocument* document)
{
    TNavDialogs* dialog = TNavDialogs::Create();
    dialog->SetParent(window_);
    dialog->SetAction(UInt32(0));
    dialog->SaveAsDialog(document);
}

void TWindow::Close(OSStatus& result)
{
    OSStatus veto = eventNotHandledErr;
    HandleClosing(veto);
    if (veto != eventNotHandledErr) {
        result = veto;
        return;
    }
    if (IsVisible()) {
        if (ApplicationQuitting)
            HideWindow(window_);
        else
            Hide();
    }
    if (windowHandler_ != nullptr)
        RemoveEventHandler(windowHandler_);
    windowHandler_ = nullptr;
    if ((options_ & kWindowOptionRememberDocuments) && GetPreferences() != nullptr) {
        if (closingList_ == nullptr)
            closingList_ = documentList_->CopyList();
        SaveDocumentList(closingList_);
        if (closingList_ != nullptr)
            CFRelease(closingList_);
        closingList_ = nullptr;
    }
    if (GetPreferences() != nullptr && !GetPreferenceKey().IsEmpty())
        SaveLayout();
    // The reference constant is cleared before the window goes, so that
    // nothing reached through the window finds a freed object.
    WindowRef window = window_;
    if (window != nullptr) {
        SetWRefCon(window, nullptr);
        if (contentHandler_ != nullptr)
            RemoveEventHandler(contentHandler_);
        contentHandler_ = nullptr;
        window_ = nullptr;
        DisposeWindow(window);
    }
    if (ApplicationQuitting)
        SendHICommand(GetApplicationEventTarget(), FourCC("quit"));
    Release();
    result = noErr;
}

void TWindow::Remove()
{
    OSStatus result = eventNotHandledErr;
    Close(result);
}

// ---- layout and the stored document list ----

void TWindow::SaveLayout()
{
    if (GetPreferences() == nullptr || window_ == nullptr)
        return;
    Rect bounds{};
    GetWindowBounds(window_, kWindowContentRgn, &bounds);
    UInt8 value[kLayoutSize] = {};
    static_assert(sizeof(Rect) == 8);
    std::memcpy(value, &bounds, sizeof bounds);
    GetPreferences()->SetDataValue(LayoutKey(GetPreferenceKey()), value, kLayoutSize);
}

bool TWindow::RestoreLayout()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || window_ == nullptr)
        return false;
    const ShortString key = LayoutKey(GetPreferenceKey());
    // Only a value of the layout's own size is a layout: anything else
    // (another program's value, a damaged file) is left alone.
    CFTypeRef stored = preferences->GetTypeValue(key);
    const bool isLayout = stored != nullptr && CFGetTypeID(stored) == CFDataGetTypeID() &&
                          CFDataGetLength(static_cast<CFDataRef>(stored)) == static_cast<CFIndex>(kLayoutSize);
    if (stored != nullptr)
        CFRelease(stored);
    if (!isLayout)
        return false;
    UInt8 value[kLayoutSize] = {};
    if (!preferences->CopyDataValue(key, value, kLayoutSize))
        return false;
    Rect bounds{};
    std::memcpy(&bounds, value, sizeof bounds);
    SetWindowBounds(window_, kWindowContentRgn, &bounds);
    return true;
}

void TWindow::AppendDocumentList(CFTypeRef item)
{
    if (GetPreferences() != nullptr && item != nullptr)
        GetPreferences()->SetArrayValue(DocumentListKey(GetPreferenceKey()), item);
}

bool TWindow::SaveDocumentList(CFArrayRef list)
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr)
        return false;
    preferences->RemoveValue(DocumentListKey(GetPreferenceKey()));
    if (list != nullptr) {
        for (CFIndex i = 0; i < CFArrayGetCount(list); ++i)
            AppendDocumentList(CFArrayGetValueAtIndex(list, i));
    }
    return false;
}

void TWindow::UpdateModifiedState()
{
    if (window_ == nullptr)
        return;
    if (documentList_->GetCount() > 0) {
        SetWindowModified(window_, documentList_->ContainsDirtyDocuments());
    } else {
        SetWindowTitleWithCFString(window_, CFSTR(""));
        SetWindowModified(window_, false);
    }
}

void TWindow::RemoveDocument(TDocument* document)
{
    documentList_->Remove(document);
    UpdateModifiedState();
}

void TWindow::OpenDocument(const FSRef&, bool&, const ApplicationOpenCommandOptions&, OSStatus&) {}

void TWindow::ProcessDocumentCommand(const HICommandExtended& command, EventRef event, TDocument* document,
                                     OSStatus& result)
{
    if (TObject::IsLiveObject(document))
        document->ProcessCommand(command, event, result);
}

void TWindow::UpdateToolbarStatus() {}

// ---- commands ----

void TWindow::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    Inherited::ProcessCommand(command, event, result);
    if (result == eventNotHandledErr)
        ProcessMenuCommand(AsHICommand(command), result);
    if (result != eventNotHandledErr)
        return;
    switch (command.commandID) {
    case FourCC("clos"):
        result = HandleCloseCommand();
        return;
    case FourCC("save"):
        result = HandleSaveCommand();
        return;
    case FourCC("svas"):
        result = HandleSaveAsCommand();
        return;
    case FourCC("rvrt"):
        result = HandleRevertCommand();
        return;
    case FourCC("upms"):
        UpdateModifiedState();
        result = noErr;
        return;
    case FourCC("upws"):
        UpdateToolbarStatus();
        result = noErr;
        return;
    default:
        break;
    }
    TDocument* document = nullptr;
    if (GetEventParameter(event, FourCC("TDOC"), typeVoidPtr, nullptr, sizeof document, nullptr, &document) == noErr)
        ProcessDocumentCommand(command, event, document, result);
    else if (ActiveDocument() != nullptr)
        ProcessDocumentCommand(command, event, ActiveDocument(), result);
}

OSStatus TWindow::HandleCloseCommand()
{
    TDocument* active = ActiveDocument();
    if (active == nullptr) {
        Remove();
    } else if (active->IsDirty()) {
        AskToSaveDocument(active, nullptr);
    } else {
        TView* view = active->GetView();
        if (view != nullptr)
            view->Retain();
        RemoveDocument(active);
        if (documentList_->GetCount() > 0 && view != nullptr)
            view->ReleaseViewObject();
        else
            Remove();
        if (view != nullptr)
            view->Release();
    }
    return noErr;
}

OSStatus TWindow::HandleSaveCommand()
{
    TDocument* active = ActiveDocument();
    if (active == nullptr)
        return noErr;
    if (active->HasValidFile()) {
        active->SetSaveField(0);
        Err = active->Save();
        if (Err == noErr)
            active->SetDirty(false);
        else
            ReportSaveFailure(active, nullptr, Err);
        UpdateModifiedState();
    } else {
        AskToSaveDocumentAs(active);
    }
    return noErr;
}

OSStatus TWindow::HandleSaveAsCommand()
{
    if (TDocument* active = ActiveDocument())
        AskToSaveDocumentAs(active);
    return noErr;
}

OSStatus TWindow::HandleRevertCommand()
{
    TDocument* active = ActiveDocument();
    if (active == nullptr || !active->HasValidFile())
        return eventNotHandledErr;
    const OSStatus result = active->Revert();
    UpdateModifiedState();
    return result;
}
