// The desktop under our windows as the X server tells it: the root
// window's picture and whether a compositing manager runs.
#include <Sources/Interface/UDesktopBackdrop.h>

#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/WindowAvailability.h>
#include <QtTestApplication.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const auto* const gApplication = AddQtTestApplication<QApplication>("DesktopPictureX11Tests");

xcb_connection_t* Connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// A desktop picture set on the root window as picture setters do (a pixmap
// named by _XROOTPMAP_ID): red left of x = 640, blue from there on; taken
// away again at the end.
class RootPicture {
public:
    RootPicture()
    {
        connection_ = Connection();
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const uint16_t width = screen_->width_in_pixels, height = screen_->height_in_pixels;
        pixmap_ = xcb_generate_id(connection_);
        xcb_create_pixmap(connection_, screen_->root_depth, pixmap_, screen_->root, width, height);
        const xcb_gcontext_t gc = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc, pixmap_, 0, nullptr);
        std::vector<uint32_t> row(width);
        for (uint16_t x = 0; x < width; ++x)
            row[x] = x < 640 ? 0x00FF0000 : 0x000000FF;
        for (uint16_t y = 0; y < height; ++y)
            xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap_, gc, width, 1, 0, int16_t(y), 0,
                          screen_->root_depth, uint32_t(row.size() * 4), reinterpret_cast<const uint8_t*>(row.data()));
        xcb_free_gc(connection_, gc);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, screen_->root, Atom(connection_, "_XROOTPMAP_ID"),
                            XCB_ATOM_PIXMAP, 32, 1, &pixmap_);
        xcb_aux_sync();
    }
    ~RootPicture()
    {
        xcb_delete_property(connection_, screen_->root, Atom(connection_, "_XROOTPMAP_ID"));
        xcb_free_pixmap(connection_, pixmap_);
        xcb_aux_sync();
    }

private:
    void xcb_aux_sync()
    {
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_pixmap_t pixmap_ = 0;
};

TEST(DesktopPicture, TheRootPictureIsReadWhereOneIsSet)
{
    ASSERT_NE(Connection(), nullptr) << "runs on an X server (scripts/with-x11.sh)";
    EXPECT_EQ(HIDesktopCopyRootPicture(CGRectMake(0, 0, 10, 10)), nullptr);
    RootPicture picture;
    CGImageRef part = HIDesktopCopyRootPicture(CGRectMake(600, 100, 100, 50));
    ASSERT_NE(part, nullptr);
    const QImage image = CGImageGetQImage(part);
    CGImageRelease(part);
    ASSERT_EQ(image.size(), QSize(100, 50));
    EXPECT_EQ(image.pixel(39, 49) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(40, 0) & 0xFFFFFF, 0x0000FFu);
    // Beyond the screen's edge the root shows nothing: black.
    CGImageRef edge = HIDesktopCopyRootPicture(CGRectMake(1270, 0, 20, 4));
    ASSERT_NE(edge, nullptr);
    const QImage edgeImage = CGImageGetQImage(edge);
    CGImageRelease(edge);
    EXPECT_EQ(edgeImage.pixel(9, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(edgeImage.pixel(10, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(HIDesktopCopyRootPicture(CGRectMake(0, 0, 0, 10)), nullptr);

    // Without a compositing manager, what the canvas draws is laid over it.
    ASSERT_FALSE(HIDesktopIsComposited());
    QImage drawn(100, 1, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    drawn.setPixel(0, 0, qRgba(0, 0, 0, 128));
    CGImageRef drawnImage = CGImageCreateWithQImage(drawn);
    CGImageRef shown = brindlet::TDesktopBackdrop::CopyOverDesktop(drawnImage, CGRectMake(600, 100, 100, 1));
    const QImage shownImage = CGImageGetQImage(shown);
    EXPECT_EQ(shownImage.pixel(0, 0), qRgba(127, 0, 0, 255));
    EXPECT_EQ(qAlpha(shownImage.pixel(50, 0)), 0);
    CGImageRelease(shown);
    CGImageRelease(drawnImage);
}

TEST(DesktopPicture, ACompositingManagerIsKnownByItsSelection)
{
    xcb_connection_t* connection = Connection();
    ASSERT_NE(connection, nullptr);
    EXPECT_FALSE(HIDesktopIsComposited());
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t owner = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, owner, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(connection, owner, Atom(connection, "_NET_WM_CM_S0"), XCB_CURRENT_TIME);
    EXPECT_TRUE(HIDesktopIsComposited());

    // The compositing manager blends: the drawing stays as it is.
    RootPicture picture;
    QImage drawn(4, 1, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(qRgba(0, 0, 0, 128));
    CGImageRef drawnImage = CGImageCreateWithQImage(drawn);
    CGImageRef shown = brindlet::TDesktopBackdrop::CopyOverDesktop(drawnImage, CGRectMake(0, 0, 4, 1));
    EXPECT_EQ(CGImageGetQImage(shown).pixel(0, 0), qRgba(0, 0, 0, 128));
    CGImageRelease(shown);
    CGImageRelease(drawnImage);

    xcb_destroy_window(connection, owner);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    EXPECT_FALSE(HIDesktopIsComposited());
}

}  // namespace
