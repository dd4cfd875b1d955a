#include "main/ImageEditor/FreehandTool.h"

#include <QPainter>

bool FreehandTool::press(EditorDocument& document, const Gesture&) {
    document.pushUndo();
    return true;
}

std::optional<QRectF> FreehandTool::drag(EditorDocument& document, const Gesture& gesture) {
    const qreal height = document.image().size().height();
    const QPointF from = gesture.lastPoint / gesture.zoom;
    const QPointF to = gesture.currentPoint / gesture.zoom;
    const qreal width = gesture.lineWidth * style.widthFactor;
    QColor color = gesture.color;
    if (style.opacity) {
        color.setAlphaF(static_cast<float>(*style.opacity));
    }
    const qreal reach = width / 2 + 1;
    const QRectF touched = QRectF(from, to).normalized().adjusted(-reach, -reach, reach, reach);
    const QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    document.image().paint(topDown(touched, height), [&](QPainter& painter) {
        painter.setPen(pen);
        painter.drawLine(topDown(from, height), topDown(to, height));
    });
    return QRectF(touched.topLeft() * gesture.zoom, touched.size() * gesture.zoom);
}
