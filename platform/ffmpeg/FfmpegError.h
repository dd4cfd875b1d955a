#pragma once

#include "platform/Error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace platform {

// FFmpeg's own words for one of its error codes.
inline Error ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return Error::platform(QString::fromUtf8(text));
}

}  // namespace platform
