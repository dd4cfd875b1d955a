#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"
#include "platform/MovieWriter.h"
#include "platform/ScreenCapture.h"
#include "platform/ScreenStream.h"
#include "platform/Screens.h"

#include <functional>
#include <memory>

namespace platform {

// The implementations of the desktop-facing seams for one kind of session.
struct Backends {
    std::function<std::shared_ptr<Screens>()> makeScreens;
    std::function<std::shared_ptr<ScreenCapture>()> makeScreenCapture;
    ScreenStreamFactory makeScreenStream;
    MovieWriterFactory makeMovieWriter;
    std::function<std::shared_ptr<KeyMappingTool>()> makeKeyMappingTool;
    std::function<std::shared_ptr<HotKeys>()> makeHotKeys;
};

// The set for the session this program runs in, chosen once.
const Backends& sessionBackends();

}  // namespace platform
