#pragma once

#include <QImage>
#include <QRect>

// Block side of the mosaic in bitmap pixels: three times the line width, never under 8.
int pixelationBlockSize(qreal lineWidth);

// The pixels of area replaced by a mosaic of square blocks anchored at the bitmap's
// top-left corner. Each block takes the average of all the pixels it covers in the source,
// including those just outside area, so neighbouring mosaics line up; the answer has the
// size of area.
QImage pixelated(const QImage& source, const QRect& area, int blockSize);
