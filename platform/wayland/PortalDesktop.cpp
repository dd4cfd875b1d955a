#include "platform/wayland/PortalDesktop.h"

#include "platform/wayland/OutputCopier.h"
#include "platform/wayland/PortalRequest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cmath>
#include <utility>

namespace platform {

namespace {

using namespace std::chrono_literals;

// What is known of a portal's picture besides its path: when it was asked for, when the answer
// came, and whether a file of that path was there before.
struct PortalPicture {
    qint64 askedAtSeconds = 0;
    qint64 answeredAtMs = 0;
    bool existedBefore = false;
};

qint64 modifiedAtMs(const struct stat& info) {
    return qint64{info.st_mtim.tv_sec} * 1000 + info.st_mtim.tv_nsec / 1000000;
}

// The portal hands over a file it made for this request: read only when it is a regular file
// of this user's, reached without following a link. Removed once read only when it is this
// request's alone: made since the request where no file was before, and not written again since
// the answer came, as by a later request in the same second.
std::optional<QByteArray> takePortalFile(const QString& path, const PortalPicture& picture) {
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    QFile file;
    struct stat info {};
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ||
        ::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        return std::nullopt;
    }
    const qint64 writtenAtMs = modifiedAtMs(info);
    const QByteArray bytes = file.readAll();
    if (::fstat(descriptor, &info) == 0 && modifiedAtMs(info) == writtenAtMs &&
        !picture.existedBefore && writtenAtMs >= (picture.askedAtSeconds - 1) * 1000 &&
        writtenAtMs <= picture.answeredAtMs) {
        ::unlink(name.constData());
    }
    return bytes;
}

// KDE's portal names its picture after the second it is taken in, in the user's pictures folder,
// and writes over a file of that name.
bool kdeNameTaken(const QString& picturesFolder, const QDateTime& time) {
    return QFileInfo::exists(picturesFolder +
                             time.toString(QStringLiteral("'/Screenshot_'yyyyMMdd_hhmmss'.png'")));
}

const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
// The portal answers a request that asks nobody in a fraction of a second; a desktop that
// shows a dialog anyway gets time for the user to answer it.
constexpr auto responseLimit = 30s;
constexpr auto windowGone = 150ms;
const QString portalFailedText = QStringLiteral("Cổng chụp màn hình báo lỗi");

std::vector<QtScreenInfo> qtScreens() {
    std::vector<QtScreenInfo> screens;
    for (QScreen* screen : QGuiApplication::screens()) {
        screens.push_back({screen->name(), screen->geometry(), screen->devicePixelRatio()});
    }
    return screens;
}

QSize pixelSize(const QtScreenInfo& screen) {
    return {static_cast<int>(std::lround(screen.geometry.width() * screen.devicePixelRatio)),
            static_cast<int>(std::lround(screen.geometry.height() * screen.devicePixelRatio))};
}

}  // namespace

std::map<QString, QImage> cutPerScreen(const QImage& layoutPicture,
                                       const std::vector<QtScreenInfo>& screens) {
    QRect bounds;
    for (const QtScreenInfo& screen : screens) {
        bounds = bounds.united(screen.geometry);
    }
    std::map<QString, QImage> pieces;
    if (bounds.isEmpty() || layoutPicture.isNull()) {
        return pieces;
    }
    // The picture is drawn at the highest scale of any screen; screens at a lower one appear
    // enlarged by whole pixels, which taking every n-th pixel undoes exactly.
    const double pictureScale = static_cast<double>(layoutPicture.width()) / bounds.width();
    for (const QtScreenInfo& screen : screens) {
        const QPoint offset = screen.geometry.topLeft() - bounds.topLeft();
        const QRect source(
            QPoint(static_cast<int>(std::lround(offset.x() * pictureScale)),
                   static_cast<int>(std::lround(offset.y() * pictureScale))),
            QSize(static_cast<int>(std::lround(screen.geometry.width() * pictureScale)),
                  static_cast<int>(std::lround(screen.geometry.height() * pictureScale))));
        QImage piece = layoutPicture.copy(source).convertToFormat(QImage::Format_RGB32);
        if (piece.size() != pixelSize(screen)) {
            piece = piece.scaled(pixelSize(screen), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        }
        pieces[screen.name] = piece;
    }
    return pieces;
}

PortalDesktop::PortalDesktop()
    : request(new PortalRequest(
          screenshotInterface,
          {QStringLiteral("Máy tính để bàn này không có cổng chụp màn hình "
                          "(org.freedesktop.portal.Screenshot)"),
           QStringLiteral("Yêu cầu chụp màn hình đã bị từ chối"), portalFailedText,
           QStringLiteral("Cổng chụp màn hình không trả lời")},
          responseLimit, [this](Error failure) { explainFailure(std::move(failure)); }, this)) {
    if (qApp != nullptr) {
        qApp->installEventFilter(this);
    }
}

bool PortalDesktop::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched->isWindowType()) {
        sinceWindowHidden.start();
    }
    return QObject::eventFilter(watched, event);
}

PortalDesktop::~PortalDesktop() = default;

std::vector<QtScreenInfo> PortalDesktop::screens() const {
    std::vector<QtScreenInfo> screens = qtScreens();
    for (QtScreenInfo& screen : screens) {
        const auto pixels = outputSizes.find(screen.name);
        if (pixels != outputSizes.end() && screen.geometry.width() > 0) {
            screen.devicePixelRatio =
                static_cast<double>(pixels->second.width()) / screen.geometry.width();
        }
    }
    return screens;
}

ScreenLayout PortalDesktop::layout() const {
    return layoutScreens(screens());
}

std::optional<std::vector<DesktopPiece>> PortalDesktop::desktopStill() const {
    const ScreenLayout screens = layout();
    std::vector<DesktopPiece> pieces;
    for (const Screen& screen : screens.screens) {
        const auto found = screenPixels.find(screen.name);
        pieces.push_back({screen.frame, found != screenPixels.end()
                                            ? QPixmap::fromImage(found->second)
                                            : QPixmap()});
    }
    return pieces;
}

Result<std::vector<Display>> PortalDesktop::displays() {
    std::vector<Display> found;
    const ScreenLayout screens = layout();
    for (const Screen& screen : screens.screens) {
        Display display;
        display.displayID = displayIdentifier(screen.name);
        display.frame = screen.frame;
        display.scale = screen.backingScaleFactor;
        const auto pixels = screenPixels.find(screen.name);
        display.pixelGeometry = pixels != screenPixels.end() ? pixels->second.rect() : QRect();
        found.push_back(display);
    }
    return found;
}

std::optional<QString> PortalDesktop::unavailableReason() const {
    return request->unavailableReason();
}

void PortalDesktop::learnUnavailableReason(std::function<void(std::optional<QString>)> told) {
    request->whenOffered([this, told](bool) { told(unavailableReason()); });
}

void PortalDesktop::prepare(std::function<void(std::optional<Error>)> whenReady) {
    if (ready) {
        whenReady(Error::platform(QStringLiteral("Đang chờ ảnh chụp trước đó")));
        return;
    }
    ready = std::move(whenReady);
    // A window of ours hidden just before, as the main window is, takes the compositor a frame
    // or two (GNOME Shell an animation) to take off the screen: a still taken at once may show
    // it. With none hidden lately nothing is waited for.
    const auto hiddenFor = sinceWindowHidden.isValid()
                               ? std::chrono::milliseconds(sinceWindowHidden.elapsed())
                               : windowGone;
    QTimer::singleShot(std::max(windowGone - hiddenFor, 0ms), this, [this] { takeStill(); });
}

void PortalDesktop::takeStill() {
    learnUnavailableReason([this](std::optional<QString> reason) {
        if (reason) {
            finish(Error::platform(*reason));
            return;
        }
        const std::vector<QtScreenInfo> reported = qtScreens();
        outputSizes = outputPixelSizes(reported);
        // The compositor's own copy of an output is exact at any scale and needs no picture of
        // the whole layout, which may exceed what one image can hold.
        screenPixels = copyOutputs(reported);
        if (screenPixels.size() == reported.size()) {
            finish(std::nullopt);
            return;
        }
        askForPicture();
    });
}

// Asked only in a second when neither its name nor the next one's is taken, so that the portal
// writes over no picture of the user's.
void PortalDesktop::askForPicture() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QDateTime now = QDateTime::currentDateTime();
    if (kdeNameTaken(pictures, now) || kdeNameTaken(pictures, now.addSecs(1))) {
        QTimer::singleShot(1000 - now.time().msec(), this, &PortalDesktop::askForPicture);
        return;
    }
    picturesBefore.clear();
    for (const QString& name : QDir(pictures).entryList(QDir::Files)) {
        picturesBefore.insert(pictures + '/' + name);
    }
    requestedAtSeconds = now.toSecsSinceEpoch();
    request->ask(QStringLiteral("Screenshot"), {QString()},
                 {{QStringLiteral("interactive"), false}},
                 [this](const QVariantMap& results) { tookPicture(results); });
}

void PortalDesktop::tookPicture(const QVariantMap& results) {
    const QString path = QUrl(results.value(QStringLiteral("uri")).toString()).toLocalFile();
    const std::optional<QByteArray> bytes = takePortalFile(
        path,
        {requestedAtSeconds, QDateTime::currentMSecsSinceEpoch(), picturesBefore.contains(path)});
    const QImage picture = bytes ? QImage::fromData(*bytes) : QImage();
    if (picture.isNull()) {
        finish(Error::platform(QStringLiteral("Không đọc được ảnh của cổng chụp màn hình")));
        return;
    }
    std::map<QString, QImage> copies =
        std::exchange(screenPixels, cutPerScreen(picture, screens()));
    for (auto& [name, pixels] : copies) {
        screenPixels[name] = std::move(pixels);
    }
    finish(std::nullopt);
}

Result<QImage> PortalDesktop::still(const Display& display, const QRectF& sourceRect,
                                    QSize outputSize) {
    for (const auto& [name, pixels] : screenPixels) {
        if (displayIdentifier(name) != display.displayID) {
            continue;
        }
        const QRect area = displayPixelRect(display, sourceRect).intersected(pixels.rect());
        if (area.isEmpty() || outputSize.isEmpty()) {
            return Error::platform(QStringLiteral("Vùng chụp nằm ngoài màn hình"));
        }
        return fitToOutputSize(pixels.copy(area), outputSize);
    }
    return Error::platform(QStringLiteral("Chưa có ảnh của màn hình đã chọn"));
}

void PortalDesktop::explainFailure(Error failure) {
    if (failure.description != portalFailedText) {
        finish(std::move(failure));
        return;
    }
    // The portal answers a user who once denied screenshots as it answers its own faults; the
    // desktop's permission store tells them apart.
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    lookup << QStringLiteral("screenshot") << QStringLiteral("screenshot");
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(lookup), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, failure] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        const auto permissions =
            reply.arguments().isEmpty()
                ? QMap<QString, QStringList>()
                : qdbus_cast<QMap<QString, QStringList>>(reply.arguments().front());
        finish(permissions.value(QString()) == QStringList{QStringLiteral("no")}
                   ? Error::platform(QStringLiteral(
                         "Máy tính để bàn đã từ chối quyền chụp màn hình — bật lại trong "
                         "phần Quyền riêng tư của Cài đặt"))
                   : failure);
    });
}

void PortalDesktop::finish(std::optional<Error> failure) {
    if (const auto done = std::exchange(ready, nullptr)) {
        done(std::move(failure));
    }
}

}  // namespace platform
