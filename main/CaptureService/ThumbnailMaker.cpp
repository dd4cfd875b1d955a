#include "main/CaptureService/ThumbnailMaker.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPalette>
#include <QPolygonF>
#include <QtMath>
#include <optional>

namespace ThumbnailMaker {
namespace {

// A pipe or device in place of the file would block the reader forever.
std::optional<QImage> loadPicture(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        return std::nullopt;
    }
    return picture;
}

std::optional<QImage> loadMovieFrame(const QString& path,
                                     const platform::MovieFrameReader& readFrame) {
    auto frame = readFrame(path, videoFrameTime);
    if (!frame.ok()) {
        return std::nullopt;
    }
    return std::move(frame).value();
}

// Painters on the canvas work in points; the pixels are the scale times as many.
QImage blank(QSize size, qreal scale, QColor colour) {
    QImage canvas((QSizeF(size) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(colour);
    return canvas;
}

// The play symbol's corners are given with y upward; the painter's y runs downward.
QPolygonF playSymbol(QSizeF box) {
    const auto corner = [box](double x, double yUp) {
        return QPointF(x * box.width(), box.height() - yUp * box.height());
    };
    return QPolygonF({corner(0.42, 0.28), corner(0.70, 0.50), corner(0.42, 0.72)});
}

}  // namespace

Fit fit(QSizeF picture, QSizeF box) {
    const double sx = box.width() / picture.width();
    const double sy = box.height() / picture.height();
    const double scale = sy < sx ? sy : sx;
    const double width = picture.width() * scale;
    const double height = picture.height() * scale;
    // Centring is symmetric, so the y-up origin of the drawn rectangle equals the y-down one.
    return Fit{scale,
               QRectF((box.width() - width) * 0.5, (box.height() - height) * 0.5, width, height)};
}

QColor windowBackground() {
    return QGuiApplication::palette().color(QPalette::Window);
}

qreal screenScale() {
    return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

QImage image(const CaptureItem& item, QSize size, const platform::MovieFrameReader& readFrame) {
    return image(item, size, readFrame, windowBackground());
}

QImage image(const CaptureItem& item, QSize size, const platform::MovieFrameReader& readFrame,
             const QColor& background, qreal scale) {
    std::optional<QImage> picture;
    if (item.type == QLatin1String("screenshot")) {
        picture = loadPicture(item.path);
    } else if (item.type == QLatin1String("video")) {
        picture = loadMovieFrame(item.path, readFrame);
    }
    return picture ? fitted(*picture, size, background, scale) : placeholder(size, scale);
}

QImage fitted(const QImage& picture, QSize size, const QColor& background, qreal scale) {
    QImage canvas = blank(size, scale, background);
    if (canvas.isNull()) {
        return canvas;
    }
    const Fit placement = fit(picture.size(), size);
    if (placement.rect.isEmpty()) {
        return canvas;
    }
    // Shrinking a 4K capture in one painter step samples only a few source pixels and
    // shimmers; an area-averaged copy at the drawn size in pixels keeps the thumbnail faithful.
    const QSize drawn(qMax(1, qRound(placement.rect.width() * scale)),
                      qMax(1, qRound(placement.rect.height() * scale)));
    QImage smaller = picture.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    smaller.setDevicePixelRatio(scale);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(placement.rect, smaller);
    return canvas;
}

QImage placeholder(QSize size, qreal scale) {
    QImage canvas = blank(size, scale, QColor::fromRgb(placeholderColor));
    if (canvas.isNull()) {
        return canvas;
    }
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPolygon(playSymbol(size));
    return canvas;
}

}  // namespace ThumbnailMaker
