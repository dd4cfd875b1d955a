#pragma once

#include "platform/Error.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace platform {

// FFmpeg's own words for one of its error codes.
inline Error ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return Error::platform(QString::fromUtf8(text));
}

inline Error ffmpegError(const QString& what, int code) {
    return Error::platform(what + QStringLiteral(": ") + ffmpegError(code).description);
}

// The program prints nothing, damaged files included; failures reach the user as error values.
inline void silenceFfmpegLog() {
    static const bool silenced = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)silenced;
}

}  // namespace platform
