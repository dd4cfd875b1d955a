#pragma once

#include "main/ImageEditor/CanvasTool.h"

#include <QLineF>
#include <array>

// The arrow's head: two open strokes from the tip, 30° either side of the shaft.
struct ArrowHead {
    QPointF tip;
    std::array<QPointF, 2> barbs;
};
// Head of an arrow from start to tip (y-up) drawn at the given line width.
ArrowHead arrowHead(QPointF start, QPointF tip, qreal lineWidth);
// Head length: four times the line width, never under 12.
qreal arrowHeadLength(qreal lineWidth);

class ArrowTool : public CanvasTool {
  public:
    // A straight arrow has no area, so its length in view points decides as well.
    bool accepts(const Gesture& gesture) const override;
    void commit(EditorDocument& document, const Gesture& gesture) override;
    void preview(QPainter& painter, const Gesture& gesture) const override;
};

// Rectangle and ellipse outlines; shapes are never filled.
class OutlineTool : public CanvasTool {
  public:
    enum class Shape { rectangle, ellipse };
    explicit OutlineTool(Shape shape) : shape(shape) {}

    void commit(EditorDocument& document, const Gesture& gesture) override;
    void preview(QPainter& painter, const Gesture& gesture) const override;

  private:
    void stroke(QPainter& painter, const QRectF& rect) const;

    Shape shape;
};
