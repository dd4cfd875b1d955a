#pragma once

#include "platform/ScreenStream.h"

#include <QPoint>
#include <QRectF>
#include <QSize>
#include <QSizeF>

// Pixel size of a recording of the given points: each side truncated to whole pixels, at
// least 2, then down to an even number, since the encoder halves both sides for colour.
QSize evenOutputSize(const QSizeF& points, qreal scale);

// The stream settings for recording a region. region and screenFrame are global points
// (y upward); displayOrigin is the display's top-left corner in root window pixels.
platform::StreamConfiguration videoStreamConfiguration(const QRectF& region,
                                                       const QRectF& screenFrame, qreal scale,
                                                       const QPoint& displayOrigin);
