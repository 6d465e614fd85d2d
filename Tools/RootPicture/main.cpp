// Gives a private X server a desktop picture, as a desktop environment
// gives the user's: the picture becomes the root window's background and
// is named by _XROOTPMAP_ID (where programs that draw over the desktop
// read it). The pixmap outlives this program.
// Usage: brindlet-root-picture <picture>
#include <QImage>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <picture>\n", argv[0]);
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "brindlet-root-picture: no X server\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber && screens.rem; ++index)
        xcb_screen_next(&screens);
    xcb_screen_t* screen = screens.data;
    if (screen == nullptr || (screen->root_depth != 24 && screen->root_depth != 32)) {
        std::fprintf(stderr, "brindlet-root-picture: the screen is not true colour\n");
        return 1;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "brindlet-root-picture: %s is no picture\n", argv[1]);
        return 1;
    }
    const uint16_t width = screen->width_in_pixels, height = screen->height_in_pixels;
    // Filling the screen, cut to its proportions.
    const QImage picture = source.scaled(width, height, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_RGB32);
    const int left = (picture.width() - width) / 2, top = (picture.height() - height) / 2;

    xcb_set_close_down_mode(connection, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    const xcb_pixmap_t pixmap = xcb_generate_id(connection);
    xcb_create_pixmap(connection, screen->root_depth, pixmap, screen->root, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, pixmap, 0, nullptr);
    for (uint16_t y = 0; y < height; ++y)
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, width, 1, 0, int16_t(y), 0, screen->root_depth,
                      uint32_t(width) * 4, picture.constScanLine(y + top) + left * 4);
    xcb_free_gc(connection, gc);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, Atom(connection, name), XCB_ATOM_PIXMAP,
                            32, 1, &pixmap);
    xcb_change_window_attributes(connection, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(connection, 0, screen->root, 0, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return 0;
}
