#include "main/ImageEditor/Pixelation.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Premultiplied averages keep translucent pixels from darkening their neighbours.
QRgb averageOf(const QImage& image, const QRect& block) {
    std::array<quint64, 4> sums{};
    for (int y = block.top(); y <= block.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = block.left(); x <= block.right(); ++x) {
            sums[0] += static_cast<quint64>(qRed(line[x]));
            sums[1] += static_cast<quint64>(qGreen(line[x]));
            sums[2] += static_cast<quint64>(qBlue(line[x]));
            sums[3] += static_cast<quint64>(qAlpha(line[x]));
        }
    }
    const quint64 count =
        static_cast<quint64>(block.width()) * static_cast<quint64>(block.height());
    const auto mean = [&](std::size_t channel) {
        return static_cast<int>((sums[channel] + count / 2) / count);
    };
    return qRgba(mean(0), mean(1), mean(2), mean(3));
}

}  // namespace

int pixelationBlockSize(qreal lineWidth) {
    return std::max(static_cast<int>(std::lround(lineWidth * 3)), 8);
}

QImage pixelated(const QImage& source, const QRect& area, int blockSize) {
    const QImage pixels = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRect bounds = pixels.rect();
    const QRect inside = area.intersected(bounds);
    QImage result(area.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    if (inside.isEmpty() || blockSize < 1) {
        return result;
    }
    const int firstColumn = inside.left() / blockSize;
    const int lastColumn = inside.right() / blockSize;
    const int firstRow = inside.top() / blockSize;
    const int lastRow = inside.bottom() / blockSize;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const QRect block = QRect(column * blockSize, row * blockSize, blockSize, blockSize)
                                    .intersected(bounds);
            const QRgb colour = averageOf(pixels, block);
            const QRect target = block.intersected(inside).translated(-area.topLeft());
            for (int y = target.top(); y <= target.bottom(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
                std::fill(line + target.left(), line + target.right() + 1, colour);
            }
        }
    }
    return result;
}
