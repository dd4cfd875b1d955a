#pragma once

#include "main/ImageEditor/EditorDocument.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

class QPainter;
class QPen;

// One gesture as the canvas sees it: points in y-up view coordinates, with the settings in
// force while it runs.
struct Gesture {
    QPointF startPoint;
    QPointF currentPoint;
    QPointF lastPoint;
    QSizeF viewSize;
    qreal zoom = 1.0;
    qreal lineWidth = 4.0;
    QColor color;
    std::optional<QImage> insertImage;

    // Corners startPoint and currentPoint, in view coordinates (y-up).
    QRectF viewRect() const;
    // The same corners divided by zoom: image coordinates (y-up).
    QRectF imageRect() const;
    // Line width of every preview: never thinner than one view point.
    qreal previewWidth() const;
};

// Turns y-up geometry into the top-down coordinates QPainter draws in, for a surface of the
// given height.
QPointF topDown(QPointF point, qreal height);
QRectF topDown(const QRectF& rect, qreal height);

// A tool behind the canvas's gesture frame. The canvas converts and clamps the mouse,
// records snapshots for accepted releases and paints the image; the tool owns its geometry.
class CanvasTool {
  public:
    virtual ~CanvasTool() = default;

    // A tool acting on the press alone does its work here and answers false: no drag begins.
    virtual bool press(EditorDocument& document, const Gesture& gesture);
    // Called for every drag event; the dirty rectangle (y-up view coordinates) it answers
    // is what changed in the image.
    virtual std::optional<QRectF> drag(EditorDocument& document, const Gesture& gesture);
    // Whether a released gesture is large enough to change the image.
    virtual bool accepts(const Gesture& gesture) const;
    // Whether a release commits (freehand strokes are already in the image).
    virtual bool commitsOnRelease() const { return true; }
    // Draws the accepted gesture into the document, after the canvas recorded the snapshot.
    virtual void commit(EditorDocument& document, const Gesture& gesture) = 0;
    // Draws the live preview onto the top-down view painter.
    virtual void preview(QPainter& painter, const Gesture& gesture) const = 0;
};

// The preview pen: the given colour at the preview width, with square-cornered joins.
QPen previewPen(const QColor& color, const Gesture& gesture);
// The pen of a committed outline, in image units.
QPen outlinePen(const QColor& color, qreal width);
