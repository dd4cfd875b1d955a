#include "tests/support/WaylandDesktop.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>
#include <functional>

namespace e2e {

namespace {

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void giveToUser(const QString& path) {
    if (::chown(QFile::encodeName(path).constData(), WaylandDesktop::userId,
                WaylandDesktop::userId) != 0) {
        std::perror("chown");
    }
}

}  // namespace

QImage WaylandDesktop::outputPicture(const QString& output) {
    const bool second = output == QStringLiteral("HEADLESS-2");
    QImage picture(second ? QSize(1600, 1200) : QSize(1280, 720), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, positionColour(x + (second ? 1000 : 0), y));
        }
    }
    return picture;
}

WaylandDesktop::WaylandDesktop(bool withPortals, std::optional<QString> sharedOutput, bool nested)
    : turn(::open("/tmp/quorvastelin-wayland-desktop.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644)),
      folder(QDir::tempPath() + QStringLiteral("/quorvastelin-wayland-XXXXXX")) {
    if (turn >= 0) {
        ::flock(turn, LOCK_EX);
    }
    const QString root = folder.path();
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                    QFile::ExeGroup);
    for (const QString& name :
         {QStringLiteral("runtime"), QStringLiteral("home"), QStringLiteral("portals")}) {
        QDir(root).mkdir(name);
    }
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    giveToUser(root);
    giveToUser(root + QStringLiteral("/runtime"));
    giveToUser(root + QStringLiteral("/home"));
    QString configuration =
        QStringLiteral("default_border none\ninput type:keyboard xkb_options compose:ralt\n");
    const struct {
        const char* name;
        const char* placement;
    } outputs[] = {{"HEADLESS-1", "position 0 0"}, {"HEADLESS-2", "position 1280 0 scale 2"}};
    for (const auto& output : outputs) {
        const QString name = QString::fromLatin1(output.name);
        const QImage picture = outputPicture(name);
        const QString file = root + '/' + name + QStringLiteral(".png");
        picture.save(file);
        configuration += QStringLiteral("output %1 resolution %2x%3 %4 bg %5 stretch\n")
                             .arg(name)
                             .arg(picture.width())
                             .arg(picture.height())
                             .arg(QString::fromLatin1(output.placement), file);
    }
    QFile config(root + QStringLiteral("/sway.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(configuration.toUtf8());
    config.close();
    // Only the wlroots backend, and a name claiming the access interface, which this portal
    // version wants before it offers screenshots to anyone.
    QFile::copy(QStringLiteral("/usr/share/xdg-desktop-portal/portals/wlr.portal"),
                root + QStringLiteral("/portals/wlr.portal"));
    QFile access(root + QStringLiteral("/portals/access.portal"));
    access.open(QIODevice::WriteOnly);
    access.write(
        "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.testaccess\n"
        "Interfaces=org.freedesktop.impl.portal.Access;\nUseIn=sway\n");
    access.close();
    // Debian's portal for wlroots shares screens only with a GPU; ours is built to do without.
    QFile sharing(root + QStringLiteral("/portal-wlr.conf"));
    sharing.open(QIODevice::WriteOnly);
    sharing.write(sharedOutput ? "[screencast]\nchooser_type=none\nmax_fps=30\noutput_name=" +
                                     sharedOutput->toUtf8() + '\n'
                               : "[screencast]\nchooser_type=simple\nchooser_cmd=true\n");
    sharing.close();

    sessionVariables = {QStringLiteral("HOME=") + root + QStringLiteral("/home"),
                        QStringLiteral("XDG_RUNTIME_DIR=") + root + QStringLiteral("/runtime"),
                        QStringLiteral("XDG_CURRENT_DESKTOP=sway"),
                        QStringLiteral("XDG_SESSION_TYPE=wayland"),
                        QStringLiteral("QT_QPA_PLATFORM=wayland")};
    sessionBus = std::make_unique<SessionBus>(runAs());
    QProcess session;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(sessionBus->environment());
    session.setProcessEnvironment(environment);
    session.setProgram(QStringLiteral("setpriv"));
    session.setArguments(
        {QStringLiteral("--reuid=%1").arg(userId), QStringLiteral("--regid=%1").arg(userId),
         QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral("setsid"),
         e2e::reachableByAnyone(QStringLiteral(QV_TEST_SOURCE) +
                                QStringLiteral("/support/wayland_session.sh")),
         root, withPortals ? QStringLiteral("portals") : QStringLiteral("bare"),
         e2e::reachableByAnyone(QStringLiteral(QV_PORTAL_WLR)),
         nested ? QStringLiteral("nested") : QStringLiteral("headless")});
    session.setStandardOutputFile(QProcess::nullDevice());
    session.setStandardErrorFile(root + QStringLiteral("/session.log"));
    if (!session.startDetached(&sessionPid)) {
        return;
    }
    ready = waitUntil([&] { return QFile::exists(root + QStringLiteral("/ready")); });
    for (const QString& line :
         fileText(root + QStringLiteral("/session.env")).split('\n', Qt::SkipEmptyParts)) {
        sessionVariables << line;
    }
    xDisplay = QLatin1Char(':') + fileText(root + QStringLiteral("/xdisplay")).trimmed();
}

WaylandDesktop::~WaylandDesktop() {
    if (sessionPid > 0) {
        // The session script leads its own process group: the compositor, PipeWire and the
        // portals all go with it.
        ::kill(-static_cast<pid_t>(sessionPid), SIGTERM);
    }
    if (turn >= 0) {
        ::close(turn);
    }
}

QStringList WaylandDesktop::runAs() const {
    return QStringList{QStringLiteral("setpriv"),
                       QStringLiteral("--reuid=%1").arg(userId),
                       QStringLiteral("--regid=%1").arg(userId),
                       QStringLiteral("--clear-groups"),
                       QStringLiteral("--"),
                       QStringLiteral("env")} +
           sessionVariables;
}

ToolResult WaylandDesktop::run(const QString& program, const QStringList& arguments) const {
    const QStringList prefix = runAs();
    return runTool(prefix.front(),
                   prefix.mid(1) +
                       QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") +
                                       sessionBus->environment().value(
                                           QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
                                   program} +
                       arguments);
}

QString WaylandDesktop::clientKeymap() const {
    return QString::fromUtf8(run(reachableByAnyone(QStringLiteral(QV_KEYMAP_PROBE)), {}).output);
}

ToolResult WaylandDesktop::typeOnXServer(const QStringList& xdotoolArguments) const {
    return run(QStringLiteral("env"),
               QStringList{QStringLiteral("DISPLAY=") + xDisplay, QStringLiteral("xdotool")} +
                   xdotoolArguments);
}

std::optional<QPoint> WaylandDesktop::contentOrigin(const QString& title) const {
    const QJsonDocument tree = QJsonDocument::fromJson(
        run(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")}).output);
    std::function<std::optional<QPoint>(const QJsonObject&)> find =
        [&](const QJsonObject& node) -> std::optional<QPoint> {
        if (node.value(QStringLiteral("name")).toString() == title) {
            const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
            const QJsonObject window = node.value(QStringLiteral("window_rect")).toObject();
            return QPoint(
                rect.value(QStringLiteral("x")).toInt() + window.value(QStringLiteral("x")).toInt(),
                rect.value(QStringLiteral("y")).toInt() +
                    window.value(QStringLiteral("y")).toInt());
        }
        for (const QString& children :
             {QStringLiteral("nodes"), QStringLiteral("floating_nodes")}) {
            for (const QJsonValue child : node.value(children).toArray()) {
                if (const auto found = find(child.toObject())) {
                    return found;
                }
            }
        }
        return std::nullopt;
    };
    return find(tree.object());
}

QImage WaylandDesktop::outputShown(const QString& output) const {
    return QImage::fromData(run(QStringLiteral("grim"), {"-t", "ppm", "-o", output, "-"}).output,
                            "PPM");
}

QString WaylandDesktop::makeHome() const {
    const QString home = folder.path() + QStringLiteral("/home/program");
    QDir().mkpath(home);
    giveToUser(home);
    return home;
}

WaylandDesktop::WaylandDesktop(Kwin)
    : folder(QDir::tempPath() + QStringLiteral("/quorvastelin-kwin-XXXXXX")) {
    const QString root = folder.path();
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                    QFile::ExeGroup);
    QDir(root).mkdir(QStringLiteral("runtime"));
    QDir(root).mkdir(QStringLiteral("home"));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString& path :
         {root, root + QStringLiteral("/runtime"), root + QStringLiteral("/home")}) {
        giveToUser(path);
    }
    sessionVariables = {QStringLiteral("HOME=") + root + QStringLiteral("/home"),
                        QStringLiteral("XDG_RUNTIME_DIR=") + root + QStringLiteral("/runtime"),
                        QStringLiteral("XDG_CURRENT_DESKTOP=KDE"),
                        QStringLiteral("XDG_SESSION_TYPE=wayland"),
                        QStringLiteral("QT_QPA_PLATFORM=wayland")};
    startSession(QStringLiteral("kwin_session.sh"), {root});
}

void WaylandDesktop::startSession(const QString& script, const QStringList& arguments) {
    const QString root = folder.path();
    sessionBus = std::make_unique<SessionBus>(runAs());
    QProcess session;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(sessionBus->environment());
    session.setProcessEnvironment(environment);
    session.setProgram(QStringLiteral("setpriv"));
    session.setArguments(
        QStringList{QStringLiteral("--reuid=%1").arg(userId),
                    QStringLiteral("--regid=%1").arg(userId), QStringLiteral("--clear-groups"),
                    QStringLiteral("--"), QStringLiteral("setsid"),
                    reachableByAnyone(QStringLiteral(QV_TEST_SOURCE "/support/") + script)} +
        arguments);
    session.setStandardOutputFile(QProcess::nullDevice());
    session.setStandardErrorFile(root + QStringLiteral("/session.log"));
    if (!session.startDetached(&sessionPid)) {
        return;
    }
    ready = waitUntil([&] { return QFile::exists(root + QStringLiteral("/ready")); });
    for (const QString& line :
         fileText(root + QStringLiteral("/session.env")).split('\n', Qt::SkipEmptyParts)) {
        sessionVariables << line;
    }
}

QString WaylandDesktop::configFolder() const {
    return folder.path() + QStringLiteral("/home/.config");
}

WaylandPointer::WaylandPointer(const WaylandDesktop& desktop) {
    const QStringList prefix = desktop.runAs();
    pointer.start(
        prefix.front(),
        prefix.mid(1) + QStringList{reachableByAnyone(QStringLiteral(QV_VIRTUAL_POINTER)),
                                    QString::number(WaylandDesktop::layoutPoints.width()),
                                    QString::number(WaylandDesktop::layoutPoints.height())});
    pointer.waitForStarted();
}

WaylandPointer::~WaylandPointer() {
    pointer.closeWriteChannel();
    if (!pointer.waitForFinished(5000)) {
        pointer.kill();
        pointer.waitForFinished();
    }
}

bool WaylandPointer::send(const QByteArray& command) {
    pointer.write(command + '\n');
    // Each command is answered once the compositor has handled it.
    return waitUntil([&] {
        pointer.waitForReadyRead(50);
        return pointer.canReadLine() && pointer.readLine().trimmed() == "ok";
    });
}

bool WaylandPointer::moveTo(QPoint point) {
    return send("move " + QByteArray::number(point.x()) + ' ' + QByteArray::number(point.y()));
}

bool WaylandPointer::press() {
    return send("down");
}

bool WaylandPointer::release() {
    return send("up");
}

bool WaylandPointer::drag(QPoint from, QPoint to) {
    // The pointer enters the window under it with the first motion; the press comes after.
    bool sent = moveTo(from + QPoint(1, 1)) && moveTo(from) && press();
    for (int step = 1; sent && step <= 4; ++step) {
        sent = moveTo(from + (to - from) * step / 4);
    }
    return sent && release();
}

}  // namespace e2e
