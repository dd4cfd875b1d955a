#include "platform/x11/X11ScreenCapture.h"

#include "platform/x11/QtScreens.h"
#include "platform/x11/X11Connection.h"

#include <xcb/randr.h>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* raw) {
    return Reply<T>(raw, &std::free);
}

QString atomName(xcb_connection_t* connection, xcb_atom_t atom) {
    auto name =
        reply(xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr));
    if (!name) {
        return {};
    }
    return QString::fromUtf8(xcb_get_atom_name_name(name.get()),
                             xcb_get_atom_name_name_length(name.get()));
}

// Qt keeps a screen's top-left in device pixels and divides only its size by the scale
// factor, so a monitor's frame in points follows from the matching QScreen.
Display describeMonitor(const QString& name, const QRect& pixels, const ScreenLayout& layout) {
    Display display;
    display.displayID = displayIdentifier(name);
    display.pixelGeometry = pixels;
    display.frame = layout.space.toGlobal(QRectF(pixels));
    for (const Screen& screen : layout.screens) {
        if (screen.name == name) {
            display.scale = screen.backingScaleFactor;
            display.frame = screen.frame;
        }
    }
    return display;
}

}  // namespace

std::optional<QString> X11ScreenCapture::unavailableReason() const {
    // Stands where a system version check would: stills need a reachable X server.
    if (x11Connection() == nullptr) {
        return QStringLiteral("Cần phiên X11 để chụp màn hình");
    }
    return std::nullopt;
}

Result<std::vector<Display>> X11ScreenCapture::displays() {
    const ScreenLayout layout = QtScreens().layout();
    xcb_connection_t* connection = x11Connection();
    std::vector<Display> found;
    if (connection == nullptr) {
        // Without X the screens Qt knows are still the displays; the capability check that
        // follows the display match tells the user why nothing can be captured.
        for (const Screen& screen : layout.screens) {
            found.push_back(
                describeMonitor(screen.name, layout.space.toQt(screen.frame).toRect(), layout));
        }
        return found;
    }
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
    if (randr == nullptr || !randr->present) {
        return Error::platform(QStringLiteral("Máy chủ X không có phần mở rộng RandR"));
    }
    auto monitors = reply(xcb_randr_get_monitors_reply(
        connection, xcb_randr_get_monitors(connection, x11RootWindow(connection), 1), nullptr));
    if (!monitors) {
        return Error::platform(QStringLiteral("Máy chủ X không cho biết danh sách màn hình"));
    }
    for (auto monitor = xcb_randr_get_monitors_monitors_iterator(monitors.get()); monitor.rem > 0;
         xcb_randr_monitor_info_next(&monitor)) {
        const xcb_randr_monitor_info_t* info = monitor.data;
        found.push_back(describeMonitor(atomName(connection, info->name),
                                        QRect(info->x, info->y, info->width, info->height),
                                        layout));
    }
    return found;
}

Result<QImage> X11ScreenCapture::still(const Display& display, const QRectF& sourceRect,
                                       QSize outputSize) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return Error::platform(QStringLiteral("Không có kết nối tới máy chủ X"));
    }
    if (!rootHasThirtyTwoBitPixels(connection)) {
        return Error::platform(QStringLiteral("Định dạng điểm ảnh của màn hình chưa được hỗ trợ"));
    }
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const QRect pixels =
        displayPixelRect(display, sourceRect)
            .intersected(display.pixelGeometry)
            .intersected(QRect(0, 0, root->width_in_pixels, root->height_in_pixels));
    if (pixels.isEmpty() || outputSize.isEmpty()) {
        return Error::platform(QStringLiteral("Vùng chụp nằm ngoài màn hình"));
    }
    QImage image = x11RootPixels(connection, pixels);
    if (image.isNull()) {
        return Error::platform(QStringLiteral("Máy chủ X từ chối đọc điểm ảnh màn hình"));
    }
    return fitToOutputSize(image, outputSize);
}

}  // namespace platform
