#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <cstdlib>

namespace platform {

xcb_connection_t* x11Connection() {
    if (qGuiApp == nullptr) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t x11RootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

bool rootHasThirtyTwoBitPixels(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_t* root = xcb_setup_roots_iterator(setup).data;
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return false;
    }
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == root->root_depth) {
            return formats.data->bits_per_pixel == 32 && root->root_depth >= 24;
        }
    }
    return false;
}

QImage x11RootPixels(xcb_connection_t* connection, const QRect& pixels) {
    xcb_generic_error_t* failure = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, x11RootWindow(connection),
                      static_cast<int16_t>(pixels.x()), static_cast<int16_t>(pixels.y()),
                      static_cast<uint16_t>(pixels.width()), static_cast<uint16_t>(pixels.height()),
                      ~0u),
        &failure);
    std::free(failure);
    if (reply == nullptr) {
        return {};
    }
    const int bytesPerLine = xcb_get_image_data_length(reply) / pixels.height();
    return QImage(xcb_get_image_data(reply), pixels.width(), pixels.height(), bytesPerLine,
                  QImage::Format_RGB32, &std::free, reply);
}

}  // namespace platform
