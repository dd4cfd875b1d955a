#include "main/ImageEditor/RegionTools.h"

#include "main/ImageEditor/Pixelation.h"

#include <QPainter>
#include <cmath>

namespace {

constexpr qreal dashOn = 7.0;
constexpr qreal dashOff = 5.0;
constexpr qreal insertPreviewOpacity = 0.75;

// White dashes of 7 view points on and 5 off, whatever the width (Qt counts dashes in widths).
void strokeRegionPreview(QPainter& painter, const Gesture& gesture) {
    QPen pen = previewPen(Qt::white, gesture);
    const qreal width = gesture.previewWidth();
    pen.setDashPattern({dashOn / width, dashOff / width});
    pen.setDashOffset(0);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(topDown(gesture.viewRect(), gesture.viewSize.height()));
}

int edge(qreal position, qreal ratio) {
    return static_cast<int>(std::lround(position * ratio));
}

}  // namespace

QRect pixelArea(const QRectF& imageRect, const TiledImage& image) {
    const QRectF area = topDown(imageRect, image.size().height());
    const qreal ratio = image.devicePixelRatio();
    const QRect pixels(QPoint(edge(area.left(), ratio), edge(area.top(), ratio)),
                       QPoint(edge(area.right(), ratio) - 1, edge(area.bottom(), ratio) - 1));
    return pixels.intersected(QRect(QPoint(0, 0), image.pixelSize()));
}

void CropTool::commit(EditorDocument& document, const Gesture& gesture) {
    const TiledImage& image = document.image();
    const QRect area = pixelArea(gesture.imageRect(), image);
    if (area.isEmpty()) {
        return;
    }
    QImage cropped = image.copyPixels(area);
    cropped.setDevicePixelRatio(image.devicePixelRatio());
    document.replace(TiledImage(cropped));
}

void CropTool::preview(QPainter& painter, const Gesture& gesture) const {
    strokeRegionPreview(painter, gesture);
}

void PixelateTool::commit(EditorDocument& document, const Gesture& gesture) {
    TiledImage& image = document.image();
    const QRect area = pixelArea(gesture.imageRect(), image);
    if (area.isEmpty()) {
        return;
    }
    const int block = pixelationBlockSize(gesture.lineWidth);
    // Only the blocks that meet the area are read, not the whole image.
    const QRect aligned(
        QPoint(area.left() / block * block, area.top() / block * block),
        QPoint((area.right() / block + 1) * block - 1, (area.bottom() / block + 1) * block - 1));
    const QRect readable = aligned.intersected(QRect(QPoint(0, 0), image.pixelSize()));
    const QImage mosaic =
        pixelated(image.copyPixels(readable), area.translated(-readable.topLeft()), block);
    const qreal ratio = image.devicePixelRatio();
    const QRectF target(area.x() / ratio, area.y() / ratio, area.width() / ratio,
                        area.height() / ratio);
    image.paint(target, [&](QPainter& painter) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(target, mosaic);
    });
}

void PixelateTool::preview(QPainter& painter, const Gesture& gesture) const {
    strokeRegionPreview(painter, gesture);
}

bool InsertImageTool::press(EditorDocument&, const Gesture& gesture) {
    return gesture.insertImage.has_value();
}

void InsertImageTool::commit(EditorDocument& document, const Gesture& gesture) {
    if (!gesture.insertImage) {
        return;
    }
    const QRectF target = topDown(gesture.imageRect(), document.image().size().height());
    document.image().paint(
        target, [&](QPainter& painter) { painter.drawImage(target, *gesture.insertImage); });
}

void InsertImageTool::preview(QPainter& painter, const Gesture& gesture) const {
    const QRectF target = topDown(gesture.viewRect(), gesture.viewSize.height());
    if (gesture.insertImage) {
        painter.setOpacity(insertPreviewOpacity);
        painter.drawImage(target, *gesture.insertImage);
        painter.setOpacity(1.0);
    }
    painter.setPen(previewPen(gesture.color, gesture));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(target);
}
