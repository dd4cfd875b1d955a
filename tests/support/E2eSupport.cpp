#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace e2e {

namespace {

std::unordered_map<const Program*, std::unique_ptr<QProcess>>& processes() {
    static std::unordered_map<const Program*, std::unique_ptr<QProcess>> table;
    return table;
}

}  // namespace

QString display() {
    return qEnvironmentVariable("DISPLAY");
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
    if (!process.waitForStarted()) {
        return {};
    }
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return {-1, process.readAll()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll()};
}

QString reachableByAnyone(const QString& path) {
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quorvastelin-shared-XXXXXX"));
    static const bool open = QFile::setPermissions(
        folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    Q_UNUSED(open);
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

QRgb positionColour(int x, int y) {
    return qRgb((x * 7) & 0xff, (y * 5) & 0xff, ((x / 37) * 29 + (y / 23) * 13) & 0xff);
}

QImage positionPattern() {
    QImage pattern(screenWidth, screenHeight, QImage::Format_RGB32);
    for (int y = 0; y < screenHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pattern.scanLine(y));
        for (int x = 0; x < screenWidth; ++x) {
            line[x] = positionColour(x, y);
        }
    }
    return pattern;
}

void showOnRoot(const QImage& picture) {
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/quorvastelin-root-XXXXXX.png"));
    file.open();
    picture.save(&file, "PNG");
    file.close();
    // hsetroot also publishes the picture as the root pixmap, which is what a compositing
    // manager paints; tiling never scales it.
    runTool(QStringLiteral("hsetroot"),
            {QStringLiteral("-root"), QStringLiteral("-tile"), file.fileName()});
}

void holdChord(int modifierKeycode, int keycode) {
    const QString modifier = QString::number(modifierKeycode);
    const QString key = QString::number(keycode);
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("keydown"), modifier, QStringLiteral("keydown"), key,
             QStringLiteral("sleep"), QStringLiteral("0.4"), QStringLiteral("keyup"), key,
             QStringLiteral("keyup"), modifier});
}

namespace {

bool selectionOwned(const char* name) {
    xcb_connection_t* connection = xcb_connect(display().toUtf8().constData(), nullptr);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    xcb_get_selection_owner_reply_t* owner =
        atom ? xcb_get_selection_owner_reply(
                   connection, xcb_get_selection_owner(connection, atom->atom), nullptr)
             : nullptr;
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
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

}  // namespace

WindowManager::WindowManager() {
    managerPid = startInBackground(QStringLiteral("openbox"), {});
    compositorPid = startInBackground(QStringLiteral("picom"),
                                      {QStringLiteral("--backend"), QStringLiteral("xrender")});
    ready = managerPid > 0 && compositorPid > 0 &&
            waitUntil([] { return selectionOwned("WM_S0") && selectionOwned("_NET_WM_CM_S0"); });
}

WindowManager::~WindowManager() {
    for (const qint64 pid : {compositorPid, managerPid}) {
        if (pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
    }
    // The bare server the next test may expect has no manager left behind.
    waitUntil([] { return !selectionOwned("WM_S0") && !selectionOwned("_NET_WM_CM_S0"); });
}

QString keyboardSetting(const QString& field) {
    const QString query =
        QString::fromUtf8(runTool(QStringLiteral("setxkbmap"), {QStringLiteral("-query")}).output);
    const QString prefix = field + QLatin1Char(':');
    for (const QString& line : query.split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed();
        }
    }
    return {};
}

QStringList keyboardOptions() {
    return keyboardSetting(QStringLiteral("options")).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QString saveScreenPicture(const QString& name) {
    const QString folder = QStringLiteral(QV_ARTIFACTS);
    QDir().mkpath(folder);
    // Named after the test too: the same picture taken by a test run bare and under a window
    // manager at once must not land in one file.
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    QString testName = test != nullptr ? QString::fromUtf8(test->name()) : QString();
    testName.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    const QString path = folder + '/' + name + '-' + testName + QStringLiteral(".png");
    runTool(QStringLiteral("import"), {QStringLiteral("-display"), display(),
                                       QStringLiteral("-window"), QStringLiteral("root"), path});
    return path;
}

SessionBus::SessionBus(QStringList runAs) : runAs(std::move(runAs)) {
    QProcess daemon;
    configure(daemon, QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--fork"),
               QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
    daemon.start();
    if (!daemon.waitForFinished(10000)) {
        return;
    }
    const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput()).split('\n');
    if (lines.size() < 2) {
        return;
    }
    address = lines[0].trimmed();
    daemonPid = lines[1].trimmed().toLongLong();
    QProcess launcher;
    launcher.setStandardOutputFile(QProcess::nullDevice());
    launcher.setStandardErrorFile(QProcess::nullDevice());
    configure(launcher, QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
              {QStringLiteral("--launch-immediately")});
    launcher.startDetached(&launcherPid);
    // A program only publishes its tree if the accessibility bus answers when it starts.
    const QStringList askForBus{QStringLiteral("--session"), QStringLiteral("--dest=org.a11y.Bus"),
                                QStringLiteral("--print-reply"), QStringLiteral("/org/a11y/bus"),
                                QStringLiteral("org.a11y.Bus.GetAddress")};
    waitUntil([&] {
        QProcess probe;
        configure(probe, QStringLiteral("dbus-send"), askForBus);
        probe.start();
        probe.waitForFinished(5000);
        return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    });
}

SessionBus::~SessionBus() {
    for (qint64 pid : {launcherPid, daemonPid}) {
        if (pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
    }
}

QProcessEnvironment SessionBus::environment() const {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    return environment;
}

void SessionBus::configure(QProcess& process, const QString& program,
                           const QStringList& arguments) const {
    QProcessEnvironment busEnvironment = QProcessEnvironment::systemEnvironment();
    busEnvironment.insert(environment());
    process.setProcessEnvironment(busEnvironment);
    if (runAs.isEmpty()) {
        process.setProgram(program);
        process.setArguments(arguments);
        return;
    }
    // The prefix ends in env, so the bus (unknown when the prefix was made) is handed there.
    process.setProgram(runAs.front());
    process.setArguments(
        runAs.mid(1) + QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + address, program} +
        arguments);
}

QString SessionBus::readerScript() const {
    const QString script =
        QStringLiteral(QV_TEST_SOURCE) + QStringLiteral("/e2e/read_accessible.py");
    return runAs.isEmpty() ? script : reachableByAnyone(script);
}

QStringList SessionBus::read(const QString& applicationName) const {
    QProcess reader;
    configure(reader, QStringLiteral("/usr/bin/python3"), {readerScript(), applicationName});
    reader.start();
    if (!reader.waitForFinished(20000)) {
        reader.kill();
        reader.waitForFinished();
        return {};
    }
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool SessionBus::press(const QString& applicationName, const QString& buttonTitle) const {
    QProcess presser;
    configure(presser, QStringLiteral("/usr/bin/python3"),
              {readerScript(), applicationName, QStringLiteral("press"), buttonTitle});
    presser.start();
    return presser.waitForFinished(20000) && presser.exitStatus() == QProcess::NormalExit &&
           presser.exitCode() == 0;
}

QList<Accessible> parseAccessibles(const QStringList& lines) {
    QList<Accessible> tree;
    for (const QString& line : lines) {
        const QStringList fields = line.split('\t');
        if (fields.size() < 5) {
            continue;
        }
        const QStringList box = fields[4].split(',');
        QRect extents;
        if (box.size() == 4) {
            extents = QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt());
        }
        tree.append(
            {fields[0], fields[1], fields[2], fields[3] == QStringLiteral("showing"), extents});
    }
    return tree;
}

std::optional<Accessible> findAccessible(const QList<Accessible>& tree, const QString& role,
                                         const QString& name) {
    for (const Accessible& node : tree) {
        if (node.role == role && node.name == name) {
            return node;
        }
    }
    return std::nullopt;
}

TrayHost::TrayHost(const SessionBus& bus) : host(std::make_unique<QProcess>()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(bus.environment());
    host->setProcessEnvironment(environment);
    host->start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(QV_TEST_SOURCE "/support/tray_host.py")});
}

void TrayHost::click(const QString& itemLabel) {
    host->write(itemLabel.toUtf8() + '\n');
    host->waitForBytesWritten();
}

TrayHost::~TrayHost() {
    if (host->state() != QProcess::NotRunning) {
        host->kill();
        host->waitForFinished();
    }
}

bool TrayHost::said(const QByteArray& line) {
    output += host->readAllStandardOutput();
    return output.split('\n').contains(line);
}

bool overlayShown(qint64 programPid) {
    const ToolResult found = runTool(QStringLiteral("xdotool"),
                                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--pid"), QString::number(programPid)});
    static const QRegularExpression placement(
        QStringLiteral(R"(Position: (-?\d+),(-?\d+)[^\n]*\n\s*Geometry: (\d+)x(\d+))"));
    for (const QByteArray& id : found.output.trimmed().split('\n')) {
        const ToolResult geometry =
            runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QString(id)});
        const QRegularExpressionMatch match = placement.match(QString::fromUtf8(geometry.output));
        const QRect window(match.captured(1).toInt(), match.captured(2).toInt(),
                           match.captured(3).toInt(), match.captured(4).toInt());
        if (match.hasMatch() && window.contains(QRect(0, 0, screenWidth, screenHeight))) {
            return true;
        }
    }
    return false;
}

bool closeWindow(const QString& title) {
    const ToolResult found = runTool(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
         QStringLiteral("^") + QRegularExpression::escape(title) + QStringLiteral("$")});
    const QList<QByteArray> ids = found.output.trimmed().split('\n');
    if (found.exitCode != 0 || ids.isEmpty()) {
        return false;
    }
    xcb_connection_t* connection = xcb_connect(display().toUtf8().constData(), nullptr);
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return value;
    };
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = ids.last().toUInt();
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    xcb_disconnect(connection);
    return true;
}

Program::Program(QString home, QProcessEnvironment extra, QStringList runAs)
    : home(std::move(home)), extra(std::move(extra)), runAs(std::move(runAs)) {}

Program::~Program() {
    auto found = processes().find(this);
    if (found != processes().end()) {
        // A program that dies at exit (a sanitizer report, heap corruption) shows only in its
        // exit status, so every test that starts one must have read it.
        if (found->second->state() != QProcess::NotRunning) {
            ADD_FAILURE() << "the program was still running when the test ended";
            found->second->kill();
            found->second->waitForFinished();
        } else if (!exitStatusRead) {
            ADD_FAILURE() << "the test never read the program's exit status";
        }
        processes().erase(found);
    }
}

bool Program::start(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("DISPLAY"), display());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString& key : extra.keys()) {
        environment.insert(key, extra.value(key));
    }
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(home + QStringLiteral("/program-output.txt"));
    process->setStandardErrorFile(home + QStringLiteral("/program-output.txt"), QIODevice::Append);
    if (runAs.isEmpty()) {
        process->start(QStringLiteral(QV_PROGRAM), arguments);
    } else {
        // The program's guardian is found beside it, so it goes along.
        reachableByAnyone(QFileInfo(QStringLiteral(QV_PROGRAM)).absolutePath() +
                          QStringLiteral("/quorvastelin-keyguard"));
        // The prefix ends in env, which sets its own home; ours comes after it and wins.
        process->start(runAs.front(),
                       runAs.mid(1) +
                           QStringList{QStringLiteral("HOME=") + home,
                                       reachableByAnyone(QStringLiteral(QV_PROGRAM))} +
                           arguments);
    }
    if (!process->waitForStarted()) {
        return false;
    }
    processId = process->processId();
    processes()[this] = std::move(process);
    return true;
}

qint64 Program::pid() const {
    return processId;
}

void Program::signal(int signalNumber) const {
    if (processId > 0) {
        ::kill(static_cast<pid_t>(processId), signalNumber);
    }
}

std::optional<int> Program::waitForExit(std::chrono::milliseconds limit) {
    auto found = processes().find(this);
    if (found == processes().end()) {
        return std::nullopt;
    }
    QProcess& process = *found->second;
    if (process.state() != QProcess::NotRunning &&
        !process.waitForFinished(static_cast<int>(limit.count()))) {
        return std::nullopt;
    }
    exitStatusRead = true;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

}  // namespace e2e
