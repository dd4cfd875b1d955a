#include "platform/Screens.h"

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

quint32 displayIdentifier(const QString& monitorName) {
    // FNV-1a over the UTF-8 name: stable across runs and processes, unlike X atoms' order.
    quint32 hash = 2166136261u;
    for (const char byte : monitorName.toUtf8()) {
        hash ^= static_cast<quint8>(byte);
        hash *= 16777619u;
    }
    return hash;
}

ScreenSpace::ScreenSpace(const QRectF& primaryQtGeometry)
    : flipLine(primaryQtGeometry.y() + primaryQtGeometry.height()) {}

QRectF ScreenSpace::toGlobal(const QRectF& qtRect) const {
    return {qtRect.x(), flipLine - (qtRect.y() + qtRect.height()), qtRect.width(), qtRect.height()};
}

QRectF ScreenSpace::toQt(const QRectF& globalRect) const {
    return {globalRect.x(), flipLine - (globalRect.y() + globalRect.height()), globalRect.width(),
            globalRect.height()};
}

QPointF ScreenSpace::toGlobal(const QPointF& qtPoint) const {
    return {qtPoint.x(), flipLine - qtPoint.y()};
}

QPointF ScreenSpace::toQt(const QPointF& globalPoint) const {
    return {globalPoint.x(), flipLine - globalPoint.y()};
}

ScreenLayout layoutScreens(const std::vector<QtScreenInfo>& qtScreens) {
    ScreenLayout layout;
    if (qtScreens.empty()) {
        return layout;
    }
    layout.space = ScreenSpace(qtScreens.front().geometry);
    for (const QtScreenInfo& info : qtScreens) {
        Screen screen;
        screen.name = info.name;
        screen.frame = layout.space.toGlobal(QRectF(info.geometry));
        screen.backingScaleFactor = info.devicePixelRatio;
        if (!info.name.isEmpty()) {
            screen.displayID = displayIdentifier(info.name);
        }
        layout.screens.push_back(screen);
    }
    return layout;
}

std::optional<QPointF> pointAtPixel(const ScreenLayout& layout, const QPointF& pixel) {
    for (const Screen& screen : layout.screens) {
        const QRectF qtFrame = layout.space.toQt(screen.frame);
        const double scale = screen.backingScaleFactor;
        const QRectF pixels(qtFrame.topLeft(), qtFrame.size() * scale);
        if (pixel.x() >= pixels.left() && pixel.x() < pixels.right() && pixel.y() >= pixels.top() &&
            pixel.y() < pixels.bottom()) {
            return layout.space.toGlobal(qtFrame.topLeft() + (pixel - pixels.topLeft()) / scale);
        }
    }
    return std::nullopt;
}

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
