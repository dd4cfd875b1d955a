#include "main/ImageEditor/ShapeTools.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr qreal headHalfAngle = std::numbers::pi / 6;
constexpr qreal minimumArrowLength = 3.0;

// Shaft and head as one open path in top-down coordinates of a surface of that height.
QPainterPath arrowPath(QPointF start, QPointF tip, qreal lineWidth, qreal height) {
    const ArrowHead head = arrowHead(start, tip, lineWidth);
    QPainterPath path;
    path.moveTo(topDown(start, height));
    path.lineTo(topDown(tip, height));
    for (const QPointF& barb : head.barbs) {
        path.moveTo(topDown(tip, height));
        path.lineTo(topDown(barb, height));
    }
    return path;
}

}  // namespace

qreal arrowHeadLength(qreal lineWidth) {
    return std::max(lineWidth * 4, 12.0);
}

ArrowHead arrowHead(QPointF start, QPointF tip, qreal lineWidth) {
    const qreal angle = std::atan2(tip.y() - start.y(), tip.x() - start.x());
    const qreal length = arrowHeadLength(lineWidth);
    const auto barb = [&](qreal direction) {
        return QPointF(tip.x() - length * std::cos(direction),
                       tip.y() - length * std::sin(direction));
    };
    return {tip, {barb(angle - headHalfAngle), barb(angle + headHalfAngle)}};
}

bool ArrowTool::accepts(const Gesture& gesture) const {
    return QLineF(gesture.startPoint, gesture.currentPoint).length() > minimumArrowLength ||
           CanvasTool::accepts(gesture);
}

void ArrowTool::commit(EditorDocument& document, const Gesture& gesture) {
    const qreal height = document.image().size().height();
    const QPainterPath path =
        arrowPath(gesture.startPoint / gesture.zoom, gesture.currentPoint / gesture.zoom,
                  gesture.lineWidth, height);
    const QPen pen = outlinePen(gesture.color, gesture.lineWidth);
    const qreal reach = gesture.lineWidth * 2 + 1;
    document.image().paint(path.boundingRect().adjusted(-reach, -reach, reach, reach),
                           [&](QPainter& painter) { painter.strokePath(path, pen); });
}

void ArrowTool::preview(QPainter& painter, const Gesture& gesture) const {
    painter.strokePath(arrowPath(gesture.startPoint, gesture.currentPoint, gesture.previewWidth(),
                                 gesture.viewSize.height()),
                       previewPen(gesture.color, gesture));
}

void OutlineTool::commit(EditorDocument& document, const Gesture& gesture) {
    const QRectF rect = topDown(gesture.imageRect(), document.image().size().height());
    const QPen pen = outlinePen(gesture.color, gesture.lineWidth);
    const qreal reach = gesture.lineWidth + 1;
    document.image().paint(rect.adjusted(-reach, -reach, reach, reach), [&](QPainter& painter) {
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        stroke(painter, rect);
    });
}

void OutlineTool::preview(QPainter& painter, const Gesture& gesture) const {
    painter.setPen(previewPen(gesture.color, gesture));
    painter.setBrush(Qt::NoBrush);
    stroke(painter, topDown(gesture.viewRect(), gesture.viewSize.height()));
}

void OutlineTool::stroke(QPainter& painter, const QRectF& rect) const {
    if (shape == Shape::rectangle) {
        painter.drawRect(rect);
    } else {
        painter.drawEllipse(rect);
    }
}
