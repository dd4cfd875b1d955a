#include "tests/support/WaylandDesktop.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>

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

std::optional<QPoint> contentOriginIn(const QJsonObject& node, const QString& title) {
    if (node.value("name").toString() == title) {
        const QJsonObject rect = node.value("rect").toObject();
        const QJsonObject window = node.value("window_rect").toObject();
        return QPoint(rect.value("x").toInt() + window.value("x").toInt(),
                      rect.value("y").toInt() + window.value("y").toInt());
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(children).toArray()) {
            if (const auto found = contentOriginIn(child.toObject(), title)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

QImage WaylandDesktop::outputPicture(const QString& output) const {
    const bool second = output == QStringLiteral("HEADLESS-2");
    QSize size;
    for (const Sway::Output& each : outputs) {
        size = each.name == output ? each.pixels : size;
    }
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, positionColour(x + (second ? 1000 : 0), y));
        }
    }
    return picture;
}

std::vector<std::pair<QString, QRect>> WaylandDesktop::outputFrames() const {
    std::vector<std::pair<QString, QRect>> frames;
    int left = 0;
    for (const Sway::Output& output : outputs) {
        frames.emplace_back(output.name, QRect(QPoint(left, 0), output.points()));
        left += output.points().width();
    }
    return frames;
}

WaylandDesktop::WaylandDesktop(const Sway& sway)
    : turn(::open("/tmp/quorvastelin-wayland-desktop.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644)),
      outputs(sway.outputs) {
    if (turn >= 0) {
        ::flock(turn, LOCK_EX);
    }
    // The user's keyboard options in a file of their own, included as people write it.
    const QString included = folder.filePath("home/.config/sway/config.d");
    QDir().mkpath(included);
    QFile keyboard(included + "/keyboard");
    keyboard.open(QIODevice::WriteOnly);
    keyboard.write("input type:keyboard xkb_options compose:ralt\n");
    if (!sway.layout.isEmpty()) {
        keyboard.write("input type:keyboard xkb_layout " + sway.layout.toUtf8() + '\n');
    }
    keyboard.close();
    QString configuration = QStringLiteral(
        "default_border none\nset $parts config.d\ninclude $HOME/.config/sway/$parts/*\n");
    for (const auto& [output, frame] : outputFrames()) {
        const QImage picture = outputPicture(output);
        const QString file = folder.filePath(output + ".png");
        picture.save(file);
        configuration += QStringLiteral(
                             "output %1 resolution %2x%3 position %4 0 scale %5 bg %6 "
                             "stretch\n")
                             .arg(output)
                             .arg(picture.width())
                             .arg(picture.height())
                             .arg(frame.x())
                             .arg(static_cast<double>(picture.width()) / frame.width())
                             .arg(file);
    }
    QFile config(folder.filePath("sway.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(configuration.toUtf8());
    config.close();
    startSession("sway", "wayland_session.sh",
                 {sway.portals ? "portals" : "bare", reachableByAnyone(QV_PORTAL_WLR),
                  sway.inXServer ? "nested" : "headless", sway.sharedOutput.value_or(QString())});
}

WaylandDesktop::WaylandDesktop(Kwin kwin)
    : outputs{{"Virtual-0", (QSizeF(1280, 720) * kwin.scale).toSize(), kwin.scale}} {
    const QString picture = folder.filePath("Virtual-0.png");
    outputPicture("Virtual-0").save(picture);
    startSession("KDE", "kwin_session.sh", {QString::number(kwin.scale), picture});
}

bool WaylandDesktop::onKwin() const {
    return sessionVariables.contains("XDG_CURRENT_DESKTOP=KDE");
}

WaylandDesktop::WaylandDesktop(const Gnome& gnome)
    : outputs{{"Meta-0", QSize(1280, 720), 1}}, onGnome(true) {
    outputPicture(outputs.front().name).save(folder.filePath("background.png"));
    startSession("GNOME", "gnome_session.sh",
                 {gnome.portalBackends.join(' '), gnome.layout,
                  gnome.screenshotsAllowed ? "granted" : "asking"});
}

void WaylandDesktop::startSession(const QString& desktopName, const QString& script,
                                  const QStringList& arguments) {
    const QString root = folder.path();
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                    QFile::ExeGroup);
    for (const QString& path : {root, root + "/runtime", root + "/home"}) {
        QDir().mkpath(path);
        giveToUser(path);
    }
    QFile::setPermissions(root + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    sessionVariables = {"HOME=" + root + "/home", "XDG_RUNTIME_DIR=" + root + "/runtime",
                        "XDG_CURRENT_DESKTOP=" + desktopName, "XDG_SESSION_TYPE=wayland",
                        "QT_QPA_PLATFORM=wayland"};
    sessionBus = std::make_unique<SessionBus>(runAs());
    sessionVariables << "DBUS_SESSION_BUS_ADDRESS=" +
                            sessionBus->environment().value("DBUS_SESSION_BUS_ADDRESS");
    const QStringList prefix = runAs();
    QProcess session;
    session.setProgram(prefix.front());
    session.setArguments(
        prefix.mid(1) +
        QStringList{"setsid", reachableByAnyone(QV_TEST_SOURCE "/support/" + script), root} +
        arguments);
    session.setStandardOutputFile(QProcess::nullDevice());
    session.setStandardErrorFile(root + "/session.log");
    if (!session.startDetached(&sessionPid)) {
        return;
    }
    ready = waitUntil([&] { return QFile::exists(root + "/ready"); });
    sessionVariables << fileText(root + "/session.env").split('\n', Qt::SkipEmptyParts);
    xDisplay = ':' + fileText(root + "/xdisplay").trimmed();
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
    return QStringList{"setpriv",
                       QStringLiteral("--reuid=%1").arg(userId),
                       QStringLiteral("--regid=%1").arg(userId),
                       "--clear-groups",
                       "--",
                       "env"} +
           sessionVariables;
}

ToolResult WaylandDesktop::run(const QString& program, const QStringList& arguments) const {
    const QStringList prefix = runAs();
    return runTool(prefix.front(), prefix.mid(1) + QStringList{program} + arguments);
}

QString WaylandDesktop::clientKeymap() const {
    return QString::fromUtf8(run(reachableByAnyone(QV_WAYLAND_INPUT), {"keymap"}).output);
}

bool WaylandDesktop::invokeShortcut(const QString& name) const {
    return run("gdbus",
               {"call", "--session", "-d", "org.kde.kglobalaccel", "-o", "/component/quorvastelin",
                "-m", "org.kde.kglobalaccel.Component.invokeShortcut", name})
               .exitCode == 0;
}

ToolResult WaylandDesktop::typeOnXServer(const QStringList& xdotoolArguments) const {
    return run("env", QStringList{"DISPLAY=" + xDisplay, "xdotool"} + xdotoolArguments);
}

std::optional<QPoint> WaylandDesktop::contentOrigin(const QString& title) const {
    if (onGnome) {
        // The shell's own script, allowed by our extension: client-side decorations leave the
        // frame where the content begins.
        const QString script = QStringLiteral(
                                   "(() => { const w = global.get_window_actors().map(a => "
                                   "a.meta_window).find(w => w.get_title() === '%1'); if (!w) "
                                   "return ''; const r = w.get_frame_rect(); return r.x + ' ' + "
                                   "r.y; })()")
                                   .arg(title);
        const QRegularExpressionMatch found =
            QRegularExpression(R"re(\(true, '"(\d+) (\d+)"'\))re")
                .match(QString::fromUtf8(
                    run("gdbus", {"call", "--session", "-d", "org.gnome.Shell", "-o",
                                  "/org/gnome/Shell", "-m", "org.gnome.Shell.Eval", script})
                        .output));
        return found.hasMatch()
                   ? std::optional(QPoint(found.captured(1).toInt(), found.captured(2).toInt()))
                   : std::nullopt;
    }
    return contentOriginIn(
        QJsonDocument::fromJson(run("swaymsg", {"-t", "get_tree"}).output).object(), title);
}

QImage WaylandDesktop::outputShown(const QString& output) const {
    if (onGnome) {
        // The shell's own screenshot, which it writes as the desktop's user.
        const QString file = folder.filePath("shown.png");
        QFile::remove(file);
        run("gdbus",
            {"call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell/Screenshot",
             "-m", "org.gnome.Shell.Screenshot.Screenshot", "false", "false", file});
        return QImage(file);
    }
    const ToolResult shown =
        onKwin() ? run("/usr/bin/python3",
                       {reachableByAnyone(QV_TEST_SOURCE "/support/kwin_output.py"), output})
                 : run("grim", {"-t", "ppm", "-o", output, "-"});
    return QImage::fromData(shown.output, "PPM");
}

// The session's own home, as the user's programs and the compositor share it.
QString WaylandDesktop::makeHome() const {
    return folder.path() + "/home";
}

Program WaylandDesktop::program(const QStringList& variables) const {
    return Program(makeHome(), sessionBus->environment(), runAs() + variables);
}

QString WaylandDesktop::configFolder() const {
    return folder.path() + "/home/.config";
}

bool WaylandDesktop::overlayOnEachOutput(const ProgramView& view) const {
    const auto frames = outputFrames();
    size_t covered = 0;
    for (const Accessible& node : view.tree()) {
        covered += node.role == "filler" && node.showing &&
                   std::any_of(frames.begin(), frames.end(),
                               [&](const auto& frame) { return node.extents == frame.second; });
    }
    return covered == frames.size();
}

WaylandPointer::WaylandPointer(const WaylandDesktop& desktop) {
    const QStringList prefix = desktop.runAs();
    QRect bounds;
    for (const auto& [name, frame] : desktop.outputFrames()) {
        bounds = bounds.united(frame);
    }
    const QStringList command =
        desktop.isGnome()
            ? QStringList{"/usr/bin/python3",
                          reachableByAnyone(QV_TEST_SOURCE "/support/gnome_input.py")}
            : QStringList{reachableByAnyone(QV_WAYLAND_INPUT), "pointer",
                          QString::number(bounds.width()), QString::number(bounds.height())};
    pointer.start(prefix.front(), prefix.mid(1) + command);
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

bool WaylandPointer::type(int keyCode) {
    return send("key " + QByteArray::number(keyCode));
}

bool WaylandPointer::click() {
    return send("down") && send("up");
}

bool WaylandPointer::press(const QList<int>& keys) {
    QByteArray command = "keys";
    for (const int key : keys) {
        command += ' ' + QByteArray::number(key);
    }
    return send(command);
}

bool WaylandPointer::clickOn(const ProgramView& view, const QString& role, const QString& name) {
    std::optional<Accessible> shown;
    return waitUntil([&] {
               shown = view.shown(role, name);
               return shown.has_value();
           }) &&
           moveTo(shown->extents.center()) && click();
}

bool WaylandPointer::drag(QPoint from, QPoint to) {
    // The pointer enters the window under it with the first motion; the press comes after.
    bool sent = moveTo(from + QPoint(1, 1)) && moveTo(from) && send("down");
    for (int step = 1; sent && step <= 4; ++step) {
        sent = moveTo(from + (to - from) * step / 4);
    }
    return sent && send("up");
}

}  // namespace e2e
