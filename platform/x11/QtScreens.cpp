#include "platform/x11/QtScreens.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ScreenCapture.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

bool compositingManagerRunning() {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return false;
    }
    static constexpr char name[] = "_NET_WM_CM_S0";
    auto atomCookie = xcb_intern_atom(connection, 1, sizeof(name) - 1, name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// A screen's pixels read straight from the root window, the server's reply becoming the
// picture; Qt's own grab copies them twice in the server and twice more here, as long again on
// a 4K screen. Qt's grab remains for pixels stored otherwise.
QPixmap screenPixels(QScreen* screen, const std::vector<Display>& monitors) {
    xcb_connection_t* connection = x11Connection();
    const auto monitor =
        std::find_if(monitors.begin(), monitors.end(), [&](const Display& display) {
            return display.displayID == displayIdentifier(screen->name());
        });
    if (connection == nullptr || !rootHasThirtyTwoBitPixels(connection) ||
        monitor == monitors.end()) {
        return screen->grabWindow(0);
    }
    QPixmap pixels = QPixmap::fromImage(x11RootPixels(connection, monitor->pixelGeometry));
    pixels.setDevicePixelRatio(screen->devicePixelRatio());
    return pixels;
}

}  // namespace

ScreenLayout QtScreens::layout() const {
    std::vector<QtScreenInfo> infos;
    for (QScreen* screen : QGuiApplication::screens()) {
        infos.push_back({screen->name(), screen->geometry(), screen->devicePixelRatio()});
    }
    return layoutScreens(infos);
}

std::optional<std::vector<DesktopPiece>> QtScreens::desktopStill() const {
    if (compositingManagerRunning()) {
        return std::nullopt;
    }
    const ScreenLayout screens = layout();
    const auto monitors = X11ScreenCapture().displays();
    const std::vector<Display> known = monitors.ok() ? monitors.value() : std::vector<Display>();
    std::vector<DesktopPiece> pieces;
    const QList<QScreen*> qtScreens = QGuiApplication::screens();
    for (qsizetype index = 0; index < qtScreens.size(); ++index) {
        pieces.push_back({screens.screens[static_cast<size_t>(index)].frame,
                          screenPixels(qtScreens[index], known)});
    }
    return pieces;
}

}  // namespace platform
