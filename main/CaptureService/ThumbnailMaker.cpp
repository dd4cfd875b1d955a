#include "main/CaptureService/ThumbnailMaker.h"

#include "platform/MovieFrameReader.h"

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

std::optional<QImage> loadMovieFrame(const QString& path) {
    auto frame = platform::readMovieFrame(path, videoFrameTime);
    if (!frame.ok()) {
        return std::nullopt;
    }
    return std::move(frame).value();
}

QImage blank(QSize size, QColor colour) {
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
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

QImage image(const CaptureItem& item, QSize size) {
    return image(item, size, windowBackground());
}

QImage image(const CaptureItem& item, QSize size, const QColor& background) {
    std::optional<QImage> picture;
    if (item.type == QLatin1String("screenshot")) {
        picture = loadPicture(item.path);
    } else if (item.type == QLatin1String("video")) {
        picture = loadMovieFrame(item.path);
    }
    return picture ? fitted(*picture, size, background) : placeholder(size);
}

QImage fitted(const QImage& picture, QSize size, const QColor& background) {
    QImage canvas = blank(size, background);
    if (canvas.isNull()) {
        return canvas;
    }
    const Fit placement = fit(picture.size(), size);
    if (placement.rect.isEmpty()) {
        return canvas;
    }
    // Shrinking a 4K capture in one painter step samples only a few source pixels and
    // shimmers; an area-averaged copy at the drawn size keeps the thumbnail faithful.
    const QSize drawn(qMax(1, qRound(placement.rect.width())),
                      qMax(1, qRound(placement.rect.height())));
    const QImage smaller = picture.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(placement.rect, smaller);
    return canvas;
}

QImage placeholder(QSize size) {
    QImage canvas = blank(size, QColor::fromRgb(placeholderColor));
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
