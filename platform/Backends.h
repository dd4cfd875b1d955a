#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"
#include "platform/KeyboardDesktop.h"
#include "platform/MovieCompletion.h"
#include "platform/MovieFrameReader.h"
#include "platform/MovieWriter.h"
#include "platform/PointerPixels.h"
#include "platform/ScreenCapture.h"
#include "platform/ScreenStream.h"
#include "platform/Screens.h"
#include "platform/WindowPlacement.h"

#include <memory>

namespace platform {

// The implementation of every desktop-facing seam for one session. The program's entry builds
// it once and hands each part to what uses it; nothing else reaches the session.
struct Backends {
    std::shared_ptr<Screens> screens;
    std::shared_ptr<ScreenCapture> screenCapture;
    ScreenStreamFactory makeScreenStream;
    MovieWriterFactory makeMovieWriter;
    MovieCompletion completeMovie;
    MovieFrameReader readMovieFrame;
    PointerPixelsWatch watchPointerPixels;
    std::shared_ptr<WindowPlacement> windowPlacement;
    std::shared_ptr<KeyMappingTool> keyMappingTool;
    std::shared_ptr<HotKeys> hotKeys;
};

Backends backendsFor(KeyboardDesktop desktop);

// The desktop's own mapping tool, without a guardian: what the guardian itself uses.
std::shared_ptr<KeyMappingTool> keyMappingToolFor(KeyboardDesktop desktop);

}  // namespace platform
