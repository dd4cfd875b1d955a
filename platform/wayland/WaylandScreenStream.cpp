#include "platform/wayland/WaylandScreenStream.h"

#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "platform/ScreenCapture.h"
#include "platform/Screens.h"
#include "platform/wayland/OutputCopier.h"
#include "platform/wayland/PipeWireFrames.h"
#include "platform/wayland/ScreenCastPortal.h"

#include <fcntl.h>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace platform {

namespace {

using namespace std::chrono_literals;

constexpr auto pipeWireLimit = 10s;

struct SharedScreen {
    QString name;
    QRect geometry;
    QSize pixels;
};

// The screen's pixels are its output's own: the scale a desktop tells Qt may be rounded up.
std::optional<SharedScreen> screenShowing(quint32 displayID) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (displayIdentifier(screen->name()) == displayID) {
            const QtScreenInfo info{screen->name(), screen->geometry(), screen->devicePixelRatio()};
            const std::map<QString, QSize> sizes = outputPixelSizes({info});
            const auto found = sizes.find(info.name);
            const double scale = info.devicePixelRatio;
            const QSize pixels =
                found != sizes.end()
                    ? found->second
                    : QSize(static_cast<int>(std::lround(info.geometry.width() * scale)),
                            static_cast<int>(std::lround(info.geometry.height() * scale)));
            return SharedScreen{info.name, info.geometry, pixels};
        }
    }
    return std::nullopt;
}

// The portal's tokens, one for each monitor it has shared, by output name.
QString tokensFile() {
    return supportFolder() + QStringLiteral("/screencast-tokens.ini");
}

std::optional<QString> keptToken(const QString& output) {
    const QString token = QSettings(tokensFile(), QSettings::IniFormat).value(output).toString();
    return token.isEmpty() ? std::nullopt : std::optional(token);
}

void keepToken(const QString& output, const QString& token) {
    QDir().mkpath(supportFolder());
    QSettings(tokensFile(), QSettings::IniFormat).setValue(output, token);
}

// Desktops give the monitor's size in points or in pixels; wlroots' portal places every
// monitor at (0, 0).
bool showsScreen(const ScreenCastGrant& grant, const SharedScreen& screen) {
    const bool sized =
        !grant.size || *grant.size == screen.geometry.size() || *grant.size == screen.pixels;
    const bool placed =
        !grant.position || grant.position->isNull() || *grant.position == screen.geometry.topLeft();
    return sized && placed;
}

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// The stream's working parts, shared with the portal's and PipeWire's callbacks, which reach
// it weakly. The portal session is touched on the GUI thread only.
class Capture : public std::enable_shared_from_this<Capture> {
  public:
    Capture(StreamConfiguration configuration, SharedScreen screen, SerialQueue& queue,
            ScreenStream::FrameHandler handler)
        : configuration(std::move(configuration)),
          screen(std::move(screen)),
          line(std::make_shared<StreamFrameLine>(queue, std::move(handler),
                                                 this->configuration.queueDepth)) {}

    void start(ScreenStream::Completion completion);
    // From any thread but PipeWire's: no frame comes afterwards and the sharing ends.
    void shutDown();

  private:
    void granted(Result<ScreenCastGrant> result);
    PipeWireEvents pipeWireEvents();
    void cut(const QImage& pixels);
    void reportStarted(std::optional<Error> failure);
    void closeSession();

    const StreamConfiguration configuration;
    const SharedScreen screen;
    const std::shared_ptr<StreamFrameLine> line;
    std::unique_ptr<ScreenCastPortal, DeleteLater> portal;

    std::mutex mutex;
    ScreenStream::Completion started;
    bool starting = false;
    bool stopping = false;
    std::unique_ptr<PipeWireFrames> frames;
};

void Capture::start(ScreenStream::Completion completion) {
    {
        std::lock_guard lock(mutex);
        if (!starting && !stopping) {
            starting = true;
            started = std::exchange(completion, nullptr);
        }
    }
    if (completion) {
        completion(Error::platform(QStringLiteral("Luồng quay màn hình đã được bắt đầu")));
        return;
    }
    portal.reset(new ScreenCastPortal);
    std::weak_ptr<Capture> weak = weak_from_this();
    portal->open(keptToken(screen.name), [weak](Result<ScreenCastGrant> grant) {
        if (auto self = weak.lock()) {
            self->granted(std::move(grant));
        }
    });
}

void Capture::granted(Result<ScreenCastGrant> result) {
    {
        std::lock_guard lock(mutex);
        if (stopping) {
            return;
        }
    }
    if (!result.ok()) {
        closeSession();
        reportStarted(result.error());
        return;
    }
    const ScreenCastGrant& grant = result.value();
    if (!showsScreen(grant, screen)) {
        closeSession();
        reportStarted(Error::platform(
            QStringLiteral("Màn hình được chia sẻ không phải màn hình có vùng đã chọn")));
        return;
    }
    if (grant.restoreToken) {
        keepToken(screen.name, *grant.restoreToken);
    }
    const auto framesPerSecond = static_cast<int>(1s / configuration.minimumFrameInterval);
    auto opened = PipeWireFrames::open(::fcntl(grant.remote.fileDescriptor(), F_DUPFD_CLOEXEC, 3),
                                       grant.node, std::max(framesPerSecond, 1), pipeWireEvents());
    if (!opened.ok()) {
        closeSession();
        reportStarted(opened.error());
        return;
    }
    // A desktop whose session manager never links the node would leave the user waiting.
    dispatchMainAfter(pipeWireLimit, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->reportStarted(Error::platform(QStringLiteral("PipeWire không gửi hình")));
        }
    });
    // Stopped meanwhile, the frames end on leaving here, where no lock is held that their
    // thread may be waiting for.
    std::unique_ptr<PipeWireFrames> running = std::move(opened).value();
    std::lock_guard lock(mutex);
    if (!stopping) {
        frames = std::move(running);
    }
}

PipeWireEvents Capture::pipeWireEvents() {
    std::weak_ptr<Capture> weak = weak_from_this();
    return {
        [weak](std::optional<Error> failure) {
            if (auto self = weak.lock()) {
                self->reportStarted(std::move(failure));
            }
        },
        [weak](const QImage& pixels) {
            if (auto self = weak.lock()) {
                self->cut(pixels);
            }
        },
        [weak] {
            if (auto self = weak.lock()) {
                self->line->offer({FrameStatus::stopped, monotonicNow(), {}});
            }
        },
    };
}

void Capture::cut(const QImage& pixels) {
    // The node sends the monitor in its own pixels, or in points on some desktops; the
    // rectangle is in the screen's pixels.
    const double across = static_cast<double>(pixels.width()) / screen.pixels.width();
    const double down = static_cast<double>(pixels.height()) / screen.pixels.height();
    const QRect& source = configuration.sourceRect;
    const QRect area = QRectF(source.x() * across, source.y() * down, source.width() * across,
                              source.height() * down)
                           .toAlignedRect()
                           .intersected(pixels.rect());
    if (area.isEmpty()) {
        return;
    }
    // Whole, even pixels for the movie drop up to two of a region at a fractional scale;
    // cropped rather than resampled, the rest stay the screen's own.
    const QSize extra = area.size() - configuration.outputSize;
    const bool cropped =
        extra.width() >= 0 && extra.width() <= 2 && extra.height() >= 0 && extra.height() <= 2;
    QImage frame = (cropped ? pixels.copy(QRect(area.topLeft(), configuration.outputSize))
                            : fitToOutputSize(pixels.copy(area), configuration.outputSize))
                       .convertToFormat(QImage::Format_RGB32);
    line->offer({FrameStatus::complete, monotonicNow(), std::move(frame)});
}

void Capture::reportStarted(std::optional<Error> failure) {
    ScreenStream::Completion completion;
    {
        std::lock_guard lock(mutex);
        completion = std::exchange(started, nullptr);
    }
    if (completion) {
        completion(std::move(failure));
    }
}

void Capture::shutDown() {
    std::unique_ptr<PipeWireFrames> ending;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        ending = std::move(frames);
    }
    ending.reset();
    reportStarted(Error::platform(QStringLiteral("Đã dừng trước khi bắt đầu quay")));
    dispatchMain([self = shared_from_this()] { self->closeSession(); });
}

void Capture::closeSession() {
    portal.reset();
}

class WaylandScreenStream : public ScreenStream {
  public:
    explicit WaylandScreenStream(std::shared_ptr<Capture> capture) : capture(std::move(capture)) {}
    ~WaylandScreenStream() override { capture->shutDown(); }

    void start(Completion completion) override { capture->start(std::move(completion)); }
    void stop(Completion completion) override {
        capture->shutDown();
        completion(std::nullopt);
    }

  private:
    const std::shared_ptr<Capture> capture;
};

}  // namespace

Result<std::unique_ptr<ScreenStream>> openWaylandScreenStream(
    const StreamConfiguration& configuration, SerialQueue& queue,
    ScreenStream::FrameHandler handler) {
    if (auto invalid = configuration.error()) {
        return *invalid;
    }
    auto screen = screenShowing(configuration.displayID);
    if (!screen) {
        return Error::platform(QStringLiteral("Không tìm thấy màn hình đã chọn"));
    }
    return std::unique_ptr<ScreenStream>(std::make_unique<WaylandScreenStream>(
        std::make_shared<Capture>(configuration, std::move(*screen), queue, std::move(handler))));
}

}  // namespace platform
