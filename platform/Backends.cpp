#include "platform/Backends.h"

#include "platform/KeyGuard.h"
#include "platform/ffmpeg/MovieLibrary.h"
#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/HyprlandKeyboard.h"
#include "platform/wayland/KdeKeyboard.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/PortalHotKeys.h"
#include "platform/wayland/SwayKeyboard.h"
#include "platform/wayland/WaylandScreenStream.h"
#include "platform/x11/QtScreens.h"
#include "platform/x11/SetxkbmapTool.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11PointerPixels.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11ScreenStream.h"
#include "platform/x11/X11WindowPlacement.h"

#include <dlfcn.h>
#include <QCoreApplication>
#include <QFile>
#include <array>

namespace platform {

namespace {

// FFmpeg and the hundred libraries it brings load with the first movie written or read, not
// with the program: from beside the program as built, or from where it is installed. Opened
// once, on whichever thread asks first.
const MovieLibrary* movieLibrary() {
    static const MovieLibrary* const library = [] {
        const QString bin = QCoreApplication::applicationDirPath();
        for (const QString& path :
             {bin + '/' + movieLibraryFile,
              bin + QStringLiteral("/" QV_MOVIE_LIBRARY_FROM_BIN "/") + movieLibraryFile}) {
            if (void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW)) {
                const auto entry =
                    reinterpret_cast<const MovieLibrary* (*)()>(::dlsym(handle, movieLibraryEntry));
                return entry != nullptr ? entry() : nullptr;
            }
        }
        return static_cast<const MovieLibrary*>(nullptr);
    }();
    return library;
}

Error movieLibraryMissing() {
    return Error::platform(QStringLiteral("Không tải được thư viện phim ") + movieLibraryFile);
}

// A desktop whose keyboard settings and key bindings we cannot reach: the switch stays, and
// says so.
class UnsupportedDesktop : public KeyMappingTool, public HotKeys {
  public:
    bool applyMapping(bool) override { return false; }
    bool isMappingApplied() override { return false; }
    void install(const std::vector<HotKey>&, std::function<void(int)>) override {}
    void uninstall() override {}
    std::optional<QString> unavailableReason() const override {
        QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        if (desktop.isEmpty()) {
            desktop = QStringLiteral("không rõ");
        }
        return QStringLiteral(
                   "Không thể đổi phím Command → Control: chưa hỗ trợ máy tính để bàn "
                   "này (%1)")
            .arg(desktop);
    }
};

template <typename Implementation, typename Seam>
std::shared_ptr<Seam> make() {
    return std::make_shared<Implementation>();
}

// Clients of an X server read the screen themselves; a Wayland desktop hands out pictures and
// streams through its portals only, and places windows itself.
enum class Pictures { x11, portal };

struct Row {
    KeyboardDesktop desktop;
    Pictures pictures;
    std::shared_ptr<KeyMappingTool> (*keyMapping)();
    std::shared_ptr<HotKeys> (*hotKeys)();
};

constexpr std::array<Row, 6> rows{{
    {KeyboardDesktop::x11, Pictures::x11, make<SetxkbmapTool, KeyMappingTool>,
     make<X11HotKeys, HotKeys>},
    {KeyboardDesktop::sway, Pictures::portal, make<SwayMappingTool, KeyMappingTool>, swayHotKeys},
    {KeyboardDesktop::gnome, Pictures::portal, make<GnomeMappingTool, KeyMappingTool>,
     gnomeHotKeys},
    {KeyboardDesktop::kde, Pictures::portal, make<KdeMappingTool, KeyMappingTool>,
     make<PortalHotKeys, HotKeys>},
    {KeyboardDesktop::hyprland, Pictures::portal, make<HyprlandMappingTool, KeyMappingTool>,
     hyprlandHotKeys},
    {KeyboardDesktop::unsupported, Pictures::portal, make<UnsupportedDesktop, KeyMappingTool>,
     make<UnsupportedDesktop, HotKeys>},
}};

const Row& rowFor(KeyboardDesktop desktop) {
    for (const Row& row : rows) {
        if (row.desktop == desktop) {
            return row;
        }
    }
    return rows.back();
}

}  // namespace

Backends backendsFor(KeyboardDesktop desktop) {
    const Row& row = rowFor(desktop);
    Backends backends;
    backends.makeMovieWriter = [](const QString& path) -> Result<std::unique_ptr<MovieWriter>> {
        if (const auto* library = movieLibrary()) {
            return library->openWriter(path);
        }
        return movieLibraryMissing();
    };
    backends.completeMovie = [](const QString& path,
                                std::optional<std::chrono::nanoseconds> end) -> Result<int> {
        if (const auto* library = movieLibrary()) {
            return library->completeMovie(path, end);
        }
        return movieLibraryMissing();
    };
    backends.readMovieFrame = [](const QString& path,
                                 std::chrono::milliseconds time) -> Result<QImage> {
        if (const auto* library = movieLibrary()) {
            return library->readFrame(path, time);
        }
        return movieLibraryMissing();
    };
    backends.keyMappingTool = std::make_shared<GuardedMappingTool>(desktop, row.keyMapping());
    backends.hotKeys = row.hotKeys();
    switch (row.pictures) {
        case Pictures::x11:
            backends.screens = std::make_shared<QtScreens>();
            backends.screenCapture = std::make_shared<X11ScreenCapture>();
            backends.makeScreenStream = openX11ScreenStream;
            backends.watchPointerPixels = [] { return std::make_unique<X11PointerPixels>(); };
            backends.windowPlacement = std::make_shared<X11WindowPlacement>();
            break;
        case Pictures::portal: {
            const auto desktopPictures = std::make_shared<PortalDesktop>();
            backends.screens = desktopPictures;
            backends.screenCapture = desktopPictures;
            backends.makeScreenStream = openWaylandScreenStream;
            backends.windowPlacement = std::make_shared<WindowPlacement>();
            break;
        }
    }
    return backends;
}

std::shared_ptr<KeyMappingTool> keyMappingToolFor(KeyboardDesktop desktop) {
    return rowFor(desktop).keyMapping();
}

}  // namespace platform
