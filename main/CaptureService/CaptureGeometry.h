#pragma once

#include "platform/ScreenCapture.h"
#include "platform/Screens.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <optional>
#include <vector>

// The first display carrying the screen's identifier; nothing when the screen has none or
// its display has gone since the selection.
std::optional<platform::Display> matchDisplay(const platform::Screen& screen,
                                              const std::vector<platform::Display>& displays);

// A global region (y up) as the display sees it: points from the display's top-left corner.
QRectF displaySourceRect(const QRectF& region, const QRectF& screenFrame);

// Pixels for a still: each side times the scale, truncated toward zero, at least 2.
QSize stillPixelSize(const QSizeF& regionSize, double backingScaleFactor);
