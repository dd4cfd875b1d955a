#pragma once

#include "platform/Screens.h"

#include <QImage>
#include <QString>
#include <map>
#include <vector>

namespace platform {

// Each screen's own pixels, copied by the compositor itself through the wlroots screen-copy
// protocol, by screen name; empty where the compositor does not offer it. A desktop's
// screenshot portal draws every screen at the highest scale of any, blurring the others; a
// copy of each output keeps every screen's pixels exact.
std::map<QString, QImage> copyOutputs(const std::vector<QtScreenInfo>& screens);

}  // namespace platform
