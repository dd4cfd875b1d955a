#include "main/ImageEditor/TextTool.h"

#include "main/ImageEditor/TextPromptDialog.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// The outline is one hundredth of the font size wide, as a stroke width of -1 percent.
constexpr qreal outlineShare = 0.01;
constexpr float outlineAlpha = 0.35f;

}  // namespace

std::optional<QString> askForText(QWidget* parent) {
    TextPromptDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.text();
}

qreal textFontSize(qreal lineWidth) {
    return std::max(lineWidth * 6, 18.0);
}

bool TextTool::press(EditorDocument& document, const Gesture& gesture) {
    const std::optional<QString> text = prompt(dialogParent);
    // Spaces count as text: only an empty answer is nothing to place.
    if (!text || text->isEmpty()) {
        return false;
    }
    document.pushUndo();
    QFont font;
    font.setPixelSize(std::max(1, qRound(textFontSize(gesture.lineWidth))));
    font.setWeight(QFont::DemiBold);
    const qreal height = document.image().size().height();
    // The press marks the lower-left corner of the text's line, descent included.
    const QPointF corner = topDown(gesture.currentPoint / gesture.zoom, height);
    QPainterPath path;
    path.addText(corner.x(), corner.y() - QFontMetricsF(font).descent(), font, *text);
    QColor outline(Qt::black);
    outline.setAlphaF(outlineAlpha);
    const QPen pen(outline, font.pixelSize() * outlineShare);
    document.image().paint(path.boundingRect().adjusted(-2, -2, 2, 2), [&](QPainter& painter) {
        painter.fillPath(path, gesture.color);
        painter.strokePath(path, pen);
    });
    return false;
}
