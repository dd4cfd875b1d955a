#pragma once

#include "platform/Screens.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <map>
#include <vector>

namespace platform {

// Each screen's own pixels, copied by the compositor itself through the wlroots screen-copy
// protocol, by screen name; empty where the compositor does not offer it. A desktop's
// screenshot portal draws every screen at the highest scale of any, blurring the others; a
// copy of each output keeps every screen's pixels exact.
std::map<QString, QImage> copyOutputs(const std::vector<QtScreenInfo>& screens);

// Each screen's size in the output's own pixels, by screen name, as the output itself says.
// Desktops may tell clients a whole scale where the output's is fractional; its pixels divided
// by its points give the real one.
std::map<QString, QSize> outputPixelSizes(const std::vector<QtScreenInfo>& screens);

}  // namespace platform
