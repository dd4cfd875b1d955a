#pragma once

#include "main/HistoryDatabase.h"
#include "platform/MovieFrameReader.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <chrono>

// Draws the small picture of a history row: the capture fitted into a box, or a play-symbol
// placeholder when there is no picture to show. Boxes are in points; the image has the box's
// size times the scale in pixels and that device pixel ratio, so it stays sharp on dense
// screens. Stateless; every call reads the file again.
namespace ThumbnailMaker {

inline constexpr std::chrono::milliseconds videoFrameTime{200};
// The shade of grey the placeholder has always had.
inline constexpr QRgb placeholderColor = 0xff555555;

// Where a picture of the given size lands in the box: scaled by the smaller of the two axis
// ratios (the horizontal one on a tie), centred. Not capped, so small pictures grow.
struct Fit {
    double scale = 0;
    QRectF rect;
};
Fit fit(QSizeF picture, QSizeF box);

// The window background colour of the current palette; read it on the GUI thread.
QColor windowBackground();
// The densest screen's device pixel ratio, so the picture is sharp wherever the window goes;
// read it on the GUI thread.
qreal screenScale();

// Main-thread convenience: the background is the palette's window colour, the scale 1.
QImage image(const CaptureItem& item, QSize size, const platform::MovieFrameReader& readFrame);
// Safe on any thread: the caller resolves the background colour and the scale.
QImage image(const CaptureItem& item, QSize size, const platform::MovieFrameReader& readFrame,
             const QColor& background, qreal scale = 1);

QImage fitted(const QImage& picture, QSize size, const QColor& background, qreal scale = 1);
QImage placeholder(QSize size, qreal scale = 1);

}  // namespace ThumbnailMaker
