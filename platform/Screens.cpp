#include "platform/Screens.h"

namespace platform {

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

}  // namespace platform
