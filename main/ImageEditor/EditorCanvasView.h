#pragma once

#include "main/ImageEditor/CanvasTool.h"
#include "main/ImageEditor/EditTool.h"
#include "main/ImageEditor/EditorDocument.h"
#include "main/ImageEditor/TextTool.h"

#include <QColor>
#include <QWidget>
#include <array>
#include <memory>

// The drawing surface: shows the document at a zoom, turns mouse presses, drags and
// releases into tool gestures, and keeps the snapshot history. View and image coordinates
// are y-up; the canvas flips once, when it paints and when it reads the mouse.
class EditorCanvasView : public QWidget {
    Q_OBJECT
  public:
    explicit EditorCanvasView(const QImage& image, TextPrompt promptText = askForText,
                              QWidget* parent = nullptr);
    ~EditorCanvasView() override;

    // The current image as one bitmap, independent of the canvas, at 1:1 whatever the zoom.
    QImage copyImage() const;
    const EditorDocument& document() const { return content; }

    EditTool tool() const { return activeTool; }
    void setTool(EditTool tool) { activeTool = tool; }
    QColor color() const { return strokeColor; }
    void setColor(const QColor& color) { strokeColor = color; }
    qreal lineWidth() const { return width; }
    void setLineWidth(qreal lineWidth) { width = lineWidth; }
    qreal zoom() const { return scale; }
    // Changes the display scale only; updateFrame resizes the canvas for it.
    void setZoom(qreal zoom) { scale = zoom; }
    const std::optional<QImage>& insertImage() const { return insertion; }
    void setInsertImage(std::optional<QImage> image) { insertion = std::move(image); }

    // Image size times zoom, each side at least one point.
    QSizeF frameSize() const;
    void updateFrame();

    void undo();
    void redo();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QPointF viewPoint(const QMouseEvent* event) const;
    QPointF clamped(QPointF point) const;
    Gesture gesture() const;
    CanvasTool& currentTool() const;

    EditorDocument content;
    EditTool activeTool = EditTool::pen;
    QColor strokeColor;
    qreal width = 4.0;
    qreal scale = 1.0;
    std::optional<QImage> insertion;
    QPointF startPoint;
    QPointF currentPoint;
    QPointF lastPoint;
    bool dragging = false;
    std::array<std::unique_ptr<CanvasTool>, editToolCount> tools;
};

// The stroke colour the editor starts with: the red of the system palette it was first made
// for.
QColor systemRed();
