#pragma once

#include "platform/ScreenCapture.h"
#include "platform/ScreenStream.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

// Pixel size of a recording of the given points: each side truncated to whole pixels, at
// least 2, then down to an even number, since the encoder halves both sides for colour.
QSize evenOutputSize(const QSizeF& points, double backingScaleFactor);

// The stream settings for recording sourceRect (display-local points, top-left origin) of
// the display: the pixels it covers on the X root, at most 30 frames a second, five frames in
// flight, the pointer drawn in.
platform::StreamConfiguration videoStreamConfiguration(const platform::Display& display,
                                                       const QRectF& sourceRect,
                                                       double backingScaleFactor);
