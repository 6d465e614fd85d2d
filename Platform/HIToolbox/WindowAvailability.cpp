#include "WindowAvailability.h"

#include "HIToolboxInternal.h"

#include <CoreGraphics/CGImageQt.h>

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr PropertyCreator kAvailabilityCreator = FourCC("HIWA");
constexpr PropertyTag kAvailabilityTag = FourCC("avlb");

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_connection_t* Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The screen of the default root, and its root window.
xcb_screen_t* DefaultScreen(xcb_connection_t* connection)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    return screens.rem ? screens.data : nullptr;
}

HIWindowAvailability StoredAvailability(WindowRef window)
{
    HIWindowAvailability flags = 0;
    if (GetWindowProperty(window, kAvailabilityCreator, kAvailabilityTag, sizeof flags, nullptr, &flags) != noErr)
        return 0;
    return flags;
}

// The EWMH states the flags stand for.
std::vector<const char*> StatesOf(HIWindowAvailability flags)
{
    std::vector<const char*> states;
    if (flags & kHIWindowExposeHidden) {
        states.push_back("_NET_WM_STATE_SKIP_TASKBAR");
        states.push_back("_NET_WM_STATE_SKIP_PAGER");
    }
    if (flags & kHIWindowVisibleInAllSpaces)
        states.push_back("_NET_WM_STATE_STICKY");
    return states;
}

constexpr HIWindowAvailability kKnownFlags = kHIWindowExposeHidden | kHIWindowVisibleInAllSpaces;

bool IsMapped(xcb_connection_t* connection, xcb_window_t window)
{
    Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr));
    return reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
}

// The desktop (workspace) the window manager shows now; 0 when it does not say.
uint32_t CurrentDesktop(xcb_connection_t* connection, xcb_window_t root)
{
    const xcb_atom_t atom = Atom(connection, "_NET_CURRENT_DESKTOP");
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
}

void SendToWindowManager(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                         uint32_t first, uint32_t second)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    message.data.data32[0] = first;
    message.data.data32[1] = second;
    message.data.data32[2] = 0;
    message.data.data32[3] = 1;  // from an application
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

// Brings the native window's states in line with the flags. A mapped
// window asks the window manager (EWMH client messages); an unmapped one
// carries the states in its own properties, which the window manager reads
// when it takes the window in (the toolkit merges its own states with
// them). On every workspace is both the sticky state and the desktop
// "all" (window managers honour one or the other).
void ApplyStates(QWidget* widget, HIWindowAvailability flags)
{
    xcb_connection_t* connection = Connection();
    if (connection == nullptr || widget == nullptr || !widget->testAttribute(Qt::WA_WState_Created))
        return;
    xcb_screen_t* screen = DefaultScreen(connection);
    const xcb_window_t window = xcb_window_t(widget->winId());
    const xcb_atom_t stateAtom = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t desktopAtom = Atom(connection, "_NET_WM_DESKTOP");
    if (screen == nullptr || stateAtom == XCB_ATOM_NONE || desktopAtom == XCB_ATOM_NONE)
        return;
    const std::vector<const char*> wanted = StatesOf(flags);
    const std::vector<const char*> every = StatesOf(kKnownFlags);
    const bool sticky = flags & kHIWindowVisibleInAllSpaces;
    if (IsMapped(connection, window)) {
        for (const char* name : every) {
            const bool add = std::find(wanted.begin(), wanted.end(), std::string_view(name)) != wanted.end();
            // _NET_WM_STATE_ADD (1) or _NET_WM_STATE_REMOVE (0).
            SendToWindowManager(connection, screen->root, window, stateAtom, add ? 1 : 0, Atom(connection, name));
        }
        Reply<xcb_get_property_reply_t> desktop(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, desktopAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        const bool onAll = desktop && desktop->format == 32 && xcb_get_property_value_length(desktop.get()) >= 4 &&
                           *static_cast<const uint32_t*>(xcb_get_property_value(desktop.get())) == kAllDesktops;
        if (sticky != onAll)
            SendToWindowManager(connection, screen->root, window, desktopAtom,
                                sticky ? kAllDesktops : CurrentDesktop(connection, screen->root), 2);
        xcb_flush(connection);
        return;
    }
    // Unmapped: our states replaced in the property, the others kept.
    std::vector<xcb_atom_t> atoms;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, stateAtom, XCB_ATOM_ATOM, 0, 1024), nullptr));
    std::vector<xcb_atom_t> ours;
    for (const char* name : every)
        ours.push_back(Atom(connection, name));
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
        for (int index = 0; index < count; ++index) {
            if (std::find(ours.begin(), ours.end(), values[index]) == ours.end())
                atoms.push_back(values[index]);
        }
    }
    for (const char* name : wanted)
        atoms.push_back(Atom(connection, name));
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, stateAtom, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
                        atoms.data());
    if (sticky)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, desktopAtom, XCB_ATOM_CARDINAL, 32, 1,
                            &kAllDesktops);
    else
        xcb_delete_property(connection, window, desktopAtom);
    xcb_flush(connection);
}

// Puts the states back each time the window is shown: into its properties
// before the toolkit maps it (the show event comes first), and once more
// through the window manager when it is on screen (the first expose after
// showing), in case the window manager took it in from older properties.
class AvailabilityKeeper final : public QObject {
public:
    AvailabilityKeeper(QWidget* widget, WindowRef window) : QObject(widget), widget_(widget), window_(window) {}

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!IsValidWindowPtr(window_) || widget_.isNull())
            return false;
        if (object == widget_ && event->type() == QEvent::Show) {
            ApplyStates(widget_, StoredAvailability(window_));
            exposePending_ = true;
            if (QWindow* handle = widget_->windowHandle(); handle != nullptr && !watchingHandle_) {
                handle->installEventFilter(this);
                watchingHandle_ = true;
            }
        } else if (object != widget_ && event->type() == QEvent::Expose && exposePending_) {
            exposePending_ = false;
            ApplyStates(widget_, StoredAvailability(window_));
        }
        return false;
    }

private:
    QPointer<QWidget> widget_;
    WindowRef window_;
    bool exposePending_ = false;
    bool watchingHandle_ = false;
};

void KeepAvailability(QWidget* widget, WindowRef window)
{
    // One keeper a widget (marked on the widget: the keeper is no Qt
    // meta-object class that a child search could tell apart).
    constexpr const char* kKept = "brindlet.availabilityKept";
    if (widget->property(kKept).toBool())
        return;
    widget->setProperty(kKept, true);
    widget->installEventFilter(new AvailabilityKeeper(widget, window));
}

}  // namespace

OSStatus HIWindowChangeAvailability(WindowRef window, HIWindowAvailability setAvailability,
                                    HIWindowAvailability clearAvailability)
{
    if (!IsValidWindowPtr(window))
        return errInvalidWindowRef;
    const HIWindowAvailability flags = (StoredAvailability(window) | setAvailability) & ~clearAvailability;
    const OSStatus status = SetWindowProperty(window, kAvailabilityCreator, kAvailabilityTag, sizeof flags, &flags);
    if (status != noErr)
        return status;
    if (QWidget* widget = HIWindowGetWidget(window)) {
        KeepAvailability(widget, window);
        ApplyStates(widget, flags);
    }
    return noErr;
}

OSStatus HIWindowGetAvailability(WindowRef window, HIWindowAvailability* outAvailability)
{
    if (outAvailability == nullptr)
        return paramErr;
    if (!IsValidWindowPtr(window))
        return errInvalidWindowRef;
    *outAvailability = StoredAvailability(window);
    return noErr;
}

Boolean HIDesktopIsComposited()
{
    xcb_connection_t* connection = Connection();
    if (connection == nullptr)
        return false;
    // The compositing manager of screen 0 (Qt's screens share one X screen).
    const xcb_atom_t selection = Atom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr));
    return reply && reply->owner != XCB_WINDOW_NONE;
}

CGImageRef HIDesktopCopyRootPicture(CGRect globalBounds)
{
    xcb_connection_t* connection = Connection();
    if (connection == nullptr || globalBounds.size.width < 1 || globalBounds.size.height < 1)
        return nullptr;
    xcb_screen_t* screen = DefaultScreen(connection);
    if (screen == nullptr)
        return nullptr;
    xcb_pixmap_t pixmap = XCB_NONE;
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        const xcb_atom_t atom = Atom(connection, name);
        if (atom == XCB_ATOM_NONE)
            continue;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, screen->root, atom, XCB_ATOM_PIXMAP, 0, 1), nullptr));
        if (reply && reply->type == XCB_ATOM_PIXMAP && reply->format == 32 &&
            xcb_get_property_value_length(reply.get()) >= int(sizeof(xcb_pixmap_t))) {
            std::memcpy(&pixmap, xcb_get_property_value(reply.get()), sizeof pixmap);
            if (pixmap != XCB_NONE)
                break;
        }
    }
    if (pixmap == XCB_NONE)
        return nullptr;
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, pixmap), nullptr));
    // Only the true-colour depths of today's servers, 32 bits a pixel.
    if (!geometry || (geometry->depth != 24 && geometry->depth != 32))
        return nullptr;
    // Window bounds are logical pixels of the screens, which may be scaled.
    const qreal scale = qGuiApp->devicePixelRatio();
    const QRect wanted = QRect(int(globalBounds.origin.x * scale), int(globalBounds.origin.y * scale),
                               int(globalBounds.size.width * scale), int(globalBounds.size.height * scale)) &
                         QRect(0, 0, geometry->width, geometry->height);
    if (wanted.isEmpty())
        return nullptr;
    Reply<xcb_generic_error_t> error;
    xcb_generic_error_t* rawError = nullptr;
    Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, int16_t(wanted.x()), int16_t(wanted.y()),
                      uint16_t(wanted.width()), uint16_t(wanted.height()), ~0u),
        &rawError));
    error.reset(rawError);
    if (!image || error)
        return nullptr;
    const int length = xcb_get_image_data_length(image.get());
    const qsizetype bytesPerLine = qsizetype(wanted.width()) * 4;
    if (length < bytesPerLine * wanted.height())
        return nullptr;
    // Z-pixmap of depth 24 or 32 on a little-endian server: B, G, R, x.
    const QImage view(xcb_get_image_data(image.get()), wanted.width(), wanted.height(), bytesPerLine,
                      QImage::Format_RGB32);
    QImage picture = view.copy();
    // Parts of the bounds off the pixmap stay black, as the root shows them.
    if (wanted.size() != QSize(int(globalBounds.size.width * scale), int(globalBounds.size.height * scale))) {
        QImage whole(int(globalBounds.size.width * scale), int(globalBounds.size.height * scale), QImage::Format_RGB32);
        whole.fill(Qt::black);
        const QPoint offset =
            wanted.topLeft() - QPoint(int(globalBounds.origin.x * scale), int(globalBounds.origin.y * scale));
        for (int y = 0; y < picture.height(); ++y)
            std::memcpy(whole.scanLine(y + offset.y()) + offset.x() * 4, picture.constScanLine(y),
                        size_t(picture.width()) * 4);
        picture = whole;
    }
    return CGImageCreateWithQImage(picture);
}
