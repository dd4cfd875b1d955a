#include "main/ImageEditor/TiledImage.h"

#include <QPainter>
#include <algorithm>

namespace {

// Premultiplied ARGB is what QPainter draws into fastest, and it keeps transparency.
constexpr QImage::Format documentFormat = QImage::Format_ARGB32_Premultiplied;

}  // namespace

TiledImage::TiledImage(const QImage& picture)
    : pixels(picture.size()),
      ratio(picture.isNull() ? 1.0 : picture.devicePixelRatio()),
      columns((pixels.width() + tileSide - 1) / tileSide),
      rows((pixels.height() + tileSide - 1) / tileSide) {
    const QImage source = picture.convertToFormat(documentFormat);
    tiles.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            QImage tile = source.copy(tileArea(column, row));
            tile.setDevicePixelRatio(1.0);
            tiles.push_back(std::move(tile));
        }
    }
}

QSizeF TiledImage::size() const {
    return QSizeF(pixels) / ratio;
}

QRect TiledImage::tileArea(int column, int row) const {
    return QRect(column * tileSide, row * tileSide, tileSide, tileSide)
        .intersected(QRect(QPoint(0, 0), pixels));
}

QRect TiledImage::tilesMeeting(const QRect& area) const {
    const QRect inside = area.intersected(QRect(QPoint(0, 0), pixels));
    if (inside.isEmpty()) {
        return {};
    }
    return QRect(QPoint(inside.left() / tileSide, inside.top() / tileSide),
                 QPoint(inside.right() / tileSide, inside.bottom() / tileSide));
}

QImage TiledImage::toImage() const {
    QImage whole = copyPixels(QRect(QPoint(0, 0), pixels));
    whole.setDevicePixelRatio(ratio);
    return whole;
}

QImage TiledImage::copyPixels(const QRect& area) const {
    QImage copy(area.size(), documentFormat);
    copy.fill(Qt::transparent);
    const QRect span = tilesMeeting(area);
    if (span.isEmpty()) {
        return copy;
    }
    QPainter painter(&copy);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int row = span.top(); row <= span.bottom(); ++row) {
        for (int column = span.left(); column <= span.right(); ++column) {
            const QRect tileRect = tileArea(column, row);
            painter.drawImage(tileRect.topLeft() - area.topLeft(),
                              tiles[static_cast<std::size_t>(row * columns + column)]);
        }
    }
    return copy;
}

void TiledImage::paint(const QRectF& dirty, const std::function<void(QPainter&)>& draw) {
    const QRectF scaled(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio,
                        dirty.height() * ratio);
    const QRect span = tilesMeeting(scaled.toAlignedRect());
    if (span.isEmpty()) {
        return;
    }
    for (int row = span.top(); row <= span.bottom(); ++row) {
        for (int column = span.left(); column <= span.right(); ++column) {
            const QRect tileRect = tileArea(column, row);
            // Beginning a painter detaches a tile that a snapshot still shares.
            QPainter painter(&tiles[static_cast<std::size_t>(row * columns + column)]);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.translate(-tileRect.x(), -tileRect.y());
            painter.scale(ratio, ratio);
            draw(painter);
        }
    }
}

void TiledImage::render(QPainter& painter, qreal zoom, const QRectF& exposed) const {
    const qreal scale = zoom / ratio;
    const QRectF inPixels(exposed.x() / scale, exposed.y() / scale, exposed.width() / scale,
                          exposed.height() / scale);
    const QRect span = tilesMeeting(inPixels.toAlignedRect());
    if (span.isEmpty()) {
        return;
    }
    for (int row = span.top(); row <= span.bottom(); ++row) {
        for (int column = span.left(); column <= span.right(); ++column) {
            const QRect tileRect = tileArea(column, row);
            const QRectF target(tileRect.x() * scale, tileRect.y() * scale,
                                tileRect.width() * scale, tileRect.height() * scale);
            painter.drawImage(target, tiles[static_cast<std::size_t>(row * columns + column)]);
        }
    }
}

void TiledImage::forEachTile(const std::function<void(const QImage&)>& visit) const {
    std::for_each(tiles.begin(), tiles.end(), visit);
}
