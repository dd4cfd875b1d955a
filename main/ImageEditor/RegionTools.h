#pragma once

#include "main/ImageEditor/CanvasTool.h"

// The bitmap pixels (top-down) that an image rectangle (y-up units) covers.
QRect pixelArea(const QRectF& imageRect, const TiledImage& image);

// Cuts the document down to the dragged rectangle; the result is a new bitmap.
class CropTool : public CanvasTool {
  public:
    void commit(EditorDocument& document, const Gesture& gesture) override;
    void preview(QPainter& painter, const Gesture& gesture) const override;
};

// Replaces the dragged rectangle by a mosaic of square blocks, with hard edges.
class PixelateTool : public CanvasTool {
  public:
    void commit(EditorDocument& document, const Gesture& gesture) override;
    void preview(QPainter& painter, const Gesture& gesture) const override;
};

// Places the chosen picture stretched into the dragged rectangle; the tool keeps its
// picture, so it can be placed again.
class InsertImageTool : public CanvasTool {
  public:
    bool press(EditorDocument& document, const Gesture& gesture) override;
    void commit(EditorDocument& document, const Gesture& gesture) override;
    void preview(QPainter& painter, const Gesture& gesture) const override;
};
