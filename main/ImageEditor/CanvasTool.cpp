#include "main/ImageEditor/CanvasTool.h"

#include <QPen>
#include <algorithm>

namespace {

// The smallest rectangle that any region tool commits, in image units on each side.
constexpr qreal minimumRegionSide = 2.0;

QRectF cornersRect(QPointF a, QPointF b) {
    return QRectF(QPointF(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                  QPointF(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

}  // namespace

QRectF Gesture::viewRect() const {
    return cornersRect(startPoint, currentPoint);
}

QRectF Gesture::imageRect() const {
    return cornersRect(startPoint / zoom, currentPoint / zoom);
}

qreal Gesture::previewWidth() const {
    return std::max(lineWidth * zoom, 1.0);
}

QPointF topDown(QPointF point, qreal height) {
    return QPointF(point.x(), height - point.y());
}

QRectF topDown(const QRectF& rect, qreal height) {
    return QRectF(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height());
}

bool CanvasTool::press(EditorDocument&, const Gesture&) {
    return true;
}

std::optional<QRectF> CanvasTool::drag(EditorDocument&, const Gesture&) {
    return std::nullopt;
}

bool CanvasTool::accepts(const Gesture& gesture) const {
    const QRectF region = gesture.imageRect();
    return region.width() > minimumRegionSide && region.height() > minimumRegionSide;
}

QPen previewPen(const QColor& color, const Gesture& gesture) {
    return outlinePen(color, gesture.previewWidth());
}

QPen outlinePen(const QColor& color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}
