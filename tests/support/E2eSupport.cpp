#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace e2e {

namespace {

QStringList moveTo(QPoint point) {
    return {"mousemove", QString::number(point.x()), QString::number(point.y())};
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
}

bool selectionsOwned() {
    xcb_connection_t* connection = xcb_connect(display().toUtf8().constData(), nullptr);
    bool owned = true;
    for (const char* name : {"WM_S0", "_NET_WM_CM_S0"}) {
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, atom(connection, name)), nullptr);
        owned = owned && owner && owner->owner != XCB_NONE;
        std::free(owner);
    }
    xcb_disconnect(connection);
    return owned;
}

qint64 startInBackground(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = -1;
    return process.startDetached(&pid) ? pid : -1;
}

void endProcesses(std::initializer_list<qint64> pids) {
    for (const qint64 pid : pids) {
        if (pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
    }
}

ToolResult finish(QProcess& process, std::chrono::milliseconds timeout) {
    if (!process.waitForStarted()) {
        return {};
    }
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return {-1, process.readAllStandardOutput()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput()};
}

QString reader(const QStringList& runAs) {
    const QString script = QStringLiteral(QV_TEST_SOURCE "/e2e/read_accessible.py");
    return runAs.isEmpty() ? script : reachableByAnyone(script);
}

QList<Accessible> parseAccessibles(const QStringList& lines) {
    QList<Accessible> tree;
    for (const QString& line : lines) {
        const QStringList fields = line.split('\t');
        if (fields.size() < 5) {
            continue;
        }
        const QStringList box = fields[4].split(',');
        // GNOME Shell places parts that are nowhere at the smallest int, too far for a QRect.
        const bool placed = box.size() == 4 && box[0].toInt() > std::numeric_limits<int>::min();
        tree.append({fields[0], fields[1], fields[2], fields[3] == "showing",
                     placed ? QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt())
                            : QRect()});
    }
    return tree;
}

template <typename Wanted>
std::optional<Accessible> firstWhere(const QList<Accessible>& tree, const Wanted& wanted) {
    const auto found = std::find_if(tree.begin(), tree.end(), wanted);
    return found != tree.end() ? std::optional(*found) : std::nullopt;
}

}  // namespace

int channelGap(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

QString display() {
    return qEnvironmentVariable("DISPLAY");
}

void setMonitor(const QString& name, const Monitor& monitor, const QString& output) {
    runTool("xrandr", {"--setmonitor", name,
                       QStringLiteral("%1/%2x%3/%4+%5+%6")
                           .arg(monitor.width)
                           .arg(monitor.width * 254 / 960)
                           .arg(monitor.height)
                           .arg(monitor.height * 254 / 960)
                           .arg(monitor.x)
                           .arg(monitor.y),
                       output});
}

ToolResult runTool(const QString& program, const QStringList& arguments,
                   std::chrono::milliseconds timeout, const QProcessEnvironment& extra) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return finish(process, timeout);
}

QString reachableByAnyone(const QString& path) {
    static QTemporaryDir folder(QDir::tempPath() + "/quorvastelin-shared-XXXXXX");
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                             QFile::ExeOther);
    const QString copy = folder.path() + '/' + QFileInfo(path).fileName();
    if (!QFile::exists(copy)) {
        QFile::copy(path, copy);
        QFile::setPermissions(copy,
                              QFile(path).permissions() | QFile::ReadOther | QFile::ReadGroup);
    }
    return copy;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool repeatUntil(const std::function<void()>& action, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        action();
        if (waitUntil(done, std::chrono::seconds(4))) {
            return true;
        }
    }
    return false;
}

QString firstSymbol(const QString& keymap, const QString& key) {
    return QRegularExpression(QStringLiteral(R"(key <%1>\s*\{[^}]*?\[\s*(?!Group)(\w+))").arg(key))
        .match(keymap)
        .captured(1);
}

QRgb positionColour(int x, int y) {
    return qRgb((x * 7) & 0xff, (y * 5) & 0xff, ((x / 37) * 29 + (y / 23) * 13) & 0xff);
}

QImage positionPattern() {
    QImage pattern(screenWidth, screenHeight, QImage::Format_RGB32);
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x < screenWidth; ++x) {
            pattern.setPixel(x, y, positionColour(x, y));
        }
    }
    return pattern;
}

void showOnRoot(const QImage& picture) {
    QTemporaryFile file(QDir::tempPath() + "/quorvastelin-root-XXXXXX.png");
    file.open();
    picture.save(&file, "PNG");
    file.close();
    // hsetroot also publishes the root pixmap a compositing manager paints; -tile never scales.
    runTool("hsetroot", {"-root", "-tile", file.fileName()});
}

bool xdotool(const QStringList& arguments) {
    return runTool("xdotool", arguments).exitCode == 0;
}

bool drag(QPoint from, QPoint to, const std::function<void()>& whileHeld) {
    QStringList steps = moveTo(from) << "mousedown"
                                     << "1";
    for (int step = 1; step <= 6; ++step) {
        steps << moveTo(from + (to - from) * step / 6);
    }
    if (!xdotool(steps)) {
        return false;
    }
    if (whileHeld) {
        whileHeld();
    }
    return xdotool({"mouseup", "1"});
}

void holdChord(int modifierKeycode, int keycode) {
    const QString modifier = QString::number(modifierKeycode);
    const QString key = QString::number(keycode);
    xdotool({"keydown", modifier, "keydown", key, "sleep", "0.4", "keyup", key, "keyup", modifier});
}

WindowManager::WindowManager()
    : managerPid(startInBackground("openbox", {})),
      compositorPid(startInBackground("picom", {"--backend", "xrender"})),
      ready(managerPid > 0 && compositorPid > 0 && waitUntil(selectionsOwned)) {}

WindowManager::~WindowManager() {
    endProcesses({compositorPid, managerPid});
    // The next test may expect a bare server.
    waitUntil([] { return !selectionsOwned(); });
}

QString keyboardSetting(const QString& field) {
    const QRegularExpression line('^' + field + ":(.*)$", QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(runTool("setxkbmap", {"-query"}).output))
        .captured(1)
        .trimmed();
}

QStringList keyboardOptions() {
    return keyboardSetting("options").split(',', Qt::SkipEmptyParts);
}

bool windowsModeOn() {
    return keyboardOptions().contains("altwin:ctrl_win");
}

int colourCount(const QString& window, const QRect& area) {
    const QString crop = QStringLiteral("%1x%2+%3+%4")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(area.x())
                             .arg(area.y());
    return runTool("import", QStringList{"-window", window} +
                                 (area.isEmpty() ? QStringList() : QStringList{"-crop", crop}) +
                                 QStringList{"-format", "%k", "info:"})
        .output.toInt();
}

SessionBus::SessionBus(QStringList runAs) : runAs(std::move(runAs)) {
    const QStringList lines =
        QString::fromUtf8(
            run("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"})
                .output)
            .split('\n');
    if (lines.size() < 2) {
        return;
    }
    address = lines[0].trimmed();
    daemonPid = lines[1].trimmed().toLongLong();
    QProcess launcher;
    launcher.setStandardOutputFile(QProcess::nullDevice());
    launcher.setStandardErrorFile(QProcess::nullDevice());
    configure(launcher, "/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"});
    launcher.startDetached(&launcherPid);
    // A program only publishes its tree if the accessibility bus answers when it starts.
    waitUntil([this] {
        return run("dbus-send", {"--session", "--dest=org.a11y.Bus", "--print-reply",
                                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"})
                   .exitCode == 0;
    });
}

SessionBus::~SessionBus() {
    endProcesses({launcherPid, daemonPid});
}

QProcessEnvironment SessionBus::environment() const {
    QProcessEnvironment environment;
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    environment.insert("QT_ACCESSIBILITY", "1");
    return environment;
}

void SessionBus::configure(QProcess& process, const QString& program,
                           const QStringList& arguments) const {
    QProcessEnvironment busEnvironment = QProcessEnvironment::systemEnvironment();
    busEnvironment.insert(environment());
    process.setProcessEnvironment(busEnvironment);
    process.setProgram(runAs.isEmpty() ? program : runAs.front());
    // The prefix ends in env, so the bus (unknown when the prefix was made) is handed there.
    process.setArguments(runAs.isEmpty()
                             ? arguments
                             : runAs.mid(1) +
                                   QStringList{"DBUS_SESSION_BUS_ADDRESS=" + address, program} +
                                   arguments);
}

ToolResult SessionBus::run(const QString& program, const QStringList& arguments) const {
    QProcess process;
    configure(process, program, arguments);
    process.start();
    return finish(process, std::chrono::seconds(20));
}

QStringList SessionBus::read(const QString& applicationName) const {
    return QString::fromUtf8(run("/usr/bin/python3", {reader(runAs), applicationName}).output)
        .split('\n', Qt::SkipEmptyParts);
}

bool SessionBus::press(const QString& applicationName, const QString& buttonTitle) const {
    return run("/usr/bin/python3", {reader(runAs), applicationName, "press", buttonTitle})
               .exitCode == 0;
}

QList<Accessible> ProgramView::tree() const {
    return parseAccessibles(bus.read(application));
}

std::string ProgramView::dump() const {
    return bus.read(application).join('\n').toStdString();
}

std::optional<Accessible> ProgramView::shown(const QString& role, const QString& name) const {
    return firstWhere(tree(), [&](const Accessible& node) {
        return node.showing && node.role == role && node.name == name;
    });
}

bool ProgramView::shows(const QString& name) const {
    return firstWhere(tree(),
                      [&](const Accessible& node) { return node.showing && node.name == name; })
        .has_value();
}

bool ProgramView::says(const QString& text) const {
    return firstWhere(
               tree(),
               [&](const Accessible& node) { return node.role == "label" && node.name == text; })
        .has_value();
}

std::optional<QString> ProgramView::labelStartingWith(const QString& prefix) const {
    const auto label = firstWhere(tree(), [&](const Accessible& node) {
        return node.role == "label" && node.name.startsWith(prefix);
    });
    return label ? std::optional(label->name) : std::nullopt;
}

bool ProgramView::click(const QString& buttonTitle) const {
    const auto button = shown("push button", buttonTitle);
    return button && xdotool(moveTo(button->extents.center()) << "click"
                                                              << "1");
}

TrayHost::TrayHost(const SessionBus& bus) : host(std::make_unique<QProcess>()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(bus.environment());
    host->setProcessEnvironment(environment);
    host->start("/usr/bin/python3", {QV_TEST_SOURCE "/support/tray_host.py"});
}

TrayHost::~TrayHost() {
    host->kill();
    host->waitForFinished();
}

void TrayHost::click(const QString& itemLabel) {
    host->write(itemLabel.toUtf8() + '\n');
    host->waitForBytesWritten();
}

bool TrayHost::said(const QByteArray& line) {
    output += host->readAllStandardOutput();
    return output.split('\n').contains(line);
}

bool overlayShown(qint64 programPid) {
    const ToolResult found =
        runTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(programPid)});
    static const QRegularExpression placement(
        R"(Position: (-?\d+),(-?\d+)[^\n]*\n\s*Geometry: (\d+)x(\d+))");
    for (const QByteArray& id : found.output.trimmed().split('\n')) {
        const QRegularExpressionMatch window = placement.match(
            QString::fromUtf8(runTool("xdotool", {"getwindowgeometry", QString(id)}).output));
        if (window.hasMatch() && QRect(window.captured(1).toInt(), window.captured(2).toInt(),
                                       window.captured(3).toInt(), window.captured(4).toInt())
                                     .contains(QRect(0, 0, screenWidth, screenHeight))) {
            return true;
        }
    }
    return false;
}

bool closeWindow(const QString& title) {
    const ToolResult found = runTool("xdotool", {"search", "--onlyvisible", "--name",
                                                 '^' + QRegularExpression::escape(title) + '$'});
    if (found.exitCode != 0) {
        return false;
    }
    xcb_connection_t* connection = xcb_connect(display().toUtf8().constData(), nullptr);
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = found.output.trimmed().split('\n').last().toUInt();
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    xcb_disconnect(connection);
    return true;
}

Program::Program(QString home, QProcessEnvironment extra, QStringList runAs, const QString& path)
    : home(std::move(home)),
      extra(std::move(extra)),
      runAs(std::move(runAs)),
      path(path.isEmpty() ? QStringLiteral(QV_PROGRAM) : path) {}

Program::~Program() {
    if (process && process->state() != QProcess::NotRunning) {
        ADD_FAILURE() << "the program was still running when the test ended";
        process->kill();
        process->waitForFinished();
    } else if (process && !exitStatusRead) {
        ADD_FAILURE() << "the test never read the program's exit status";
    }
}

QProcess& Program::prepare() {
    process = std::make_unique<QProcess>();
    exitStatusRead = false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("DISPLAY", display());
    environment.remove("QT_QPA_PLATFORM");
    environment.insert(extra);
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(home + "/program-output.txt");
    process->setStandardErrorFile(home + "/program-output.txt", QIODevice::Append);
    return *process;
}

bool Program::startThroughCommandEntry(const QStringList& arguments, const QString& folder) {
    QProcess& entry = prepare();
    QProcessEnvironment environment = entry.processEnvironment();
    environment.insert("PATH", QFileInfo(path).absolutePath() + ':' + environment.value("PATH"));
    entry.setProcessEnvironment(environment);
    entry.setWorkingDirectory(folder);
    // env looks the name up in PATH and hands it on as it was typed, as a shell does.
    entry.start("env", QStringList{"quorvastelin-command"} + arguments);
    return entry.waitForStarted();
}

bool Program::start(const QStringList& arguments) {
    prepare();
    if (runAs.isEmpty()) {
        process->start(path, arguments);
    } else {
        // The program's companions are found beside it, so they go along.
        for (const char* companion :
             {"/quorvastelin-keyguard", "/quorvastelin-command", "/libquorvastelin_movies.so"}) {
            reachableByAnyone(QFileInfo(path).absolutePath() + companion);
        }
        // The prefix ends in env, which sets its own home; ours comes after it and wins.
        process->start(
            runAs.front(),
            runAs.mid(1) + QStringList{"HOME=" + home, reachableByAnyone(path)} + arguments);
    }
    return process->waitForStarted();
}

qint64 Program::pid() const {
    return process ? process->processId() : 0;
}

void Program::signal(int signalNumber) const {
    if (pid() > 0) {
        ::kill(static_cast<pid_t>(pid()), signalNumber);
    }
}

std::optional<int> Program::waitForExit(std::chrono::milliseconds limit) {
    if (!process || (process->state() != QProcess::NotRunning &&
                     !process->waitForFinished(static_cast<int>(limit.count())))) {
        return std::nullopt;
    }
    exitStatusRead = true;
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

std::optional<int> Program::stop(int signalNumber) {
    signal(signalNumber);
    return waitForExit();
}

QString Program::historyPath() const {
    return home + "/.local/share/Quorvastelin/history.db";
}

QString Program::capturesFolder(const QString& kind) const {
    return home + "/Documents/Quorvastelin/" + kind;
}

bool pressUntilOverlay(const Program& program, const std::function<void()>& press) {
    return repeatUntil(press, [&program] { return overlayShown(program.pid()); });
}

}  // namespace e2e
