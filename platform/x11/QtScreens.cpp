#include "platform/x11/QtScreens.h"

#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QScreen>
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
    std::vector<DesktopPiece> pieces;
    const QList<QScreen*> qtScreens = QGuiApplication::screens();
    for (qsizetype index = 0; index < qtScreens.size(); ++index) {
        pieces.push_back(
            {screens.screens[static_cast<size_t>(index)].frame, qtScreens[index]->grabWindow(0)});
    }
    return pieces;
}

}  // namespace platform
