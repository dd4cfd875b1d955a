#pragma once

#include "main/ImageEditor/CanvasTool.h"

// Pen and marker: every drag event strokes one straight segment straight into the image,
// so the snapshot is taken on the press and the release draws nothing.
class FreehandTool : public CanvasTool {
  public:
    struct Style {
        qreal widthFactor;
        std::optional<qreal> opacity;
    };
    static Style pen() { return {1.0, std::nullopt}; }
    // Segments are stroked one by one, so the marker's round caps overlap at the joints.
    static Style marker() { return {4.0, 0.3}; }

    explicit FreehandTool(Style style) : style(style) {}

    bool press(EditorDocument& document, const Gesture& gesture) override;
    std::optional<QRectF> drag(EditorDocument& document, const Gesture& gesture) override;
    bool commitsOnRelease() const override { return false; }
    void commit(EditorDocument&, const Gesture&) override {}
    void preview(QPainter&, const Gesture&) const override {}

  private:
    Style style;
};
