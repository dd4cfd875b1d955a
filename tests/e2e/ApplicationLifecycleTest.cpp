#include "tests/support/E2eSupport.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

// A home whose path has spaces and Vietnamese letters, as real users' homes may.
struct LifecycleFixture : testing::Test {
    QTemporaryDir root;
    QString home = root.filePath("Nguyễn Văn Ánh");
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(home)); }
};

void setUserKeyboard(const QStringList& layout = {}) {
    ASSERT_EQ(
        e2e::runTool("setxkbmap", layout + QStringList{"-option", "", "-option", "compose:ralt"})
            .exitCode,
        0);
}

// Another user of the machine (nobody) listening at a path, as anyone can at a name under /tmp,
// from its construction on; reached() tells whether anybody came.
struct OtherUsersSocket {
    explicit OtherUsersSocket(const QString& path) : path(path) {
        server.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                 "/usr/bin/python3", "-c",
                                 "import os, socket, sys\ns = socket.socket(socket.AF_UNIX)\n"
                                 "s.bind(sys.argv[1]); os.chmod(sys.argv[1], 0o777); s.listen(8)\n"
                                 "print('listening', flush=True)\nwhile True:\n"
                                 "    s.accept()[0].close(); print('reached', flush=True)\n",
                                 path});
        server.waitForReadyRead();
    }
    ~OtherUsersSocket() {
        server.kill();
        server.waitForFinished();
        QFile::remove(path);
    }
    bool reached() { return server.readAllStandardOutput().contains("reached"); }

    const QString path;
    QProcess server;
};

// A process counts as gone once it has ended, even before its new parent has reaped it.
bool running(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

}  // namespace

// Each row: how the program ends and the exit status that leaves. A killed or crashed program
// cannot clean up, yet the mapping must not outlive it, and nothing of ours may stay behind. A
// history file it cannot read is left alone, and the program runs all the same. Signal 0 is
// none: its file is replaced, then removed, as upgrading and removing its package do.
TEST_F(LifecycleFixture, LaunchAndUpkeepApplyTheMappingAndAnyEndRemovesOnlyOurOption) {
    const QByteArray junk = QByteArray("definitely not sqlite").repeated(100);
    QDir().mkpath(home + "/.local/share/Quorvastelin");
    QFile file(home + "/.local/share/Quorvastelin/history.db");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(junk) == junk.size());
    file.close();
    const QStringList userAndOurs{"compose:ralt", "altwin:ctrl_win"};
    const struct {
        int signal;
        std::optional<int> exitStatus;
    } rows[] = {{SIGTERM, 0}, {SIGHUP, 0}, {SIGKILL, -1}, {SIGABRT, -1}, {0, 0}};
    const QTemporaryDir installed;
    const QString installedProgram = installed.filePath("quorvastelin");
    QFile::copy(QV_PROGRAM, installedProgram);
    QFile::copy(QV_PROGRAM, installedProgram + ".new");
    QFile::copy(QV_PROGRAM "-keyguard", installedProgram + "-keyguard");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        setUserKeyboard();
        e2e::Program program(home, {}, {}, row.signal == 0 ? installedProgram : QString());
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(e2e::waitUntil([&] { return e2e::keyboardOptions() == userAndOurs; }));
        if (row.signal == 0) {
            ASSERT_EQ(::rename(QFile::encodeName(installedProgram + ".new"),
                               QFile::encodeName(installedProgram)),
                      0);
        }
        if (row.signal == SIGTERM || row.signal == 0) {
            // A desktop switching layouts resets the options.
            setUserKeyboard({"-layout", "fr"});
            EXPECT_TRUE(e2e::waitUntil([&] { return e2e::keyboardOptions() == userAndOurs; }))
                << "the upkeep restores a reset mapping";
            EXPECT_EQ(e2e::keyboardSetting("layout"), "fr");
        }
        const QString guardian = e2e::runTool("pgrep", {"-P", QString::number(program.pid()), "-f",
                                                        "quorvastelin-keyguard"})
                                     .output.trimmed();
        EXPECT_FALSE(guardian.isEmpty());

        if (row.signal == 0) {
            ASSERT_TRUE(QFile::remove(installedProgram));
        }
        EXPECT_EQ(program.stop(row.signal), row.exitStatus);
        EXPECT_TRUE(e2e::waitUntil([&] {
            return e2e::keyboardOptions() == QStringList{"compose:ralt"};
        })) << e2e::keyboardOptions().join(',').toStdString();
        EXPECT_TRUE(e2e::waitUntil([&] { return !running(guardian); }));
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

// The command entry under a classic XEmbed tray. With no instance running, --screenshot through
// the command entry starts the program installed beside it, never one planted in the current
// folder; it selects a region, then its icon paints in the tray's panel and Windows Mode is on;
// later starts hand their request to it and end; anything else is a usage error. Another user of
// the machine who got to the channel's names first, in /tmp and in a runtime folder that is not
// ours, hears nothing.
TEST_F(LifecycleFixture, WithAnXEmbedTrayTheIconPaintsAndLaterStartsHandTheirCommandOver) {
    const QString display = e2e::display().replace(QRegularExpression("[^A-Za-z0-9]"), "_");
    QTemporaryDir othersRuntime;
    ASSERT_EQ(::chown(QFile::encodeName(othersRuntime.path()).constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::setPermissions(othersRuntime.path(), QFileDevice::Permissions(0x7777)));
    OtherUsersSocket inTmp("/tmp/quorvastelin-0-" + display);
    OtherUsersSocket inRuntime(othersRuntime.filePath("quorvastelin-" + display + ".socket"));
    const QString planted = root.filePath("quorvastelin");
    ASSERT_TRUE(
        testmedia::writeFile(othersRuntime.filePath("quorvastelin-" + display + ".lock"), {}) &&
        testmedia::writeFile(planted, "#!/bin/sh\ntouch \"$0.ran\"\n") &&
        QFile::setPermissions(planted, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "left"});
    e2e::ToolResult panel;
    ASSERT_TRUE(e2e::waitUntil([&] {
        panel = e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^panel$"});
        return panel.exitCode == 0;
    }));
    e2e::SessionBus bus;
    const e2e::ProgramView view(bus);
    const auto status = [&view] { return view.labelStartingWith("Đ").value_or(""); };
    QProcessEnvironment environment = bus.environment();
    environment.insert("XDG_RUNTIME_DIR", othersRuntime.path());
    e2e::Program first(home, environment);
    ASSERT_TRUE(first.startThroughCommandEntry({"--screenshot"}, root.path()));
    ASSERT_TRUE(e2e::waitUntil([&] { return e2e::overlayShown(first.pid()); }));
    ASSERT_TRUE(e2e::repeatUntil(
        [] {
            e2e::xdotool({"key", "Escape"});
        },
        [&] { return status() == "Đã hủy chụp màn hình"; }));
    // More than the panel's one colour; the rest of the start followed the capture.
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::colourCount(panel.output.trimmed()) > 1; }));
    EXPECT_TRUE(e2e::windowsModeOn());

    const struct {
        QStringList arguments;
        int exitStatus;
        QString selecting, cancelled;
    } starts[] = {
        {{}, 0, {}, {}},
        {{"--record"}, 0, "Đang chọn vùng quay…", "Đã hủy quay màn hình"},
        {{"--screenshot"}, 0, "Đang chọn vùng chụp…", "Đã hủy chụp màn hình"},
        {{"--screenshot", "--record"}, 2, {}, {}},
        {{"-h"}, 2, {}, {}},
    };
    const QString otherHome = root.filePath("other");
    QDir().mkpath(otherHome);
    for (const auto& start : starts) {
        SCOPED_TRACE(start.arguments.join(' ').toStdString());
        e2e::Program later(otherHome);
        ASSERT_TRUE(later.start(start.arguments));
        EXPECT_EQ(later.waitForExit(), start.exitStatus);
        if (start.exitStatus == 2) {
            QFile output(otherHome + "/program-output.txt");
            output.open(QIODevice::ReadOnly);
            EXPECT_EQ(output.readAll(), "Cách dùng: quorvastelin [--screenshot | --record]\n");
        }
        if (!start.selecting.isEmpty()) {
            EXPECT_TRUE(e2e::waitUntil([&] { return status() == start.selecting; }));
            e2e::xdotool({"key", "Escape"});
            EXPECT_TRUE(e2e::waitUntil([&] { return status() == start.cancelled; }));
        }
    }
    EXPECT_FALSE(first.waitForExit(std::chrono::milliseconds(300)).has_value());
    EXPECT_EQ(first.stop(SIGINT), 0);
    EXPECT_FALSE(QFile::exists(planted + ".ran"));
    EXPECT_FALSE(inTmp.reached());
    EXPECT_FALSE(inRuntime.reached());
}

// Two starts at the same moment, as a double-click or two key presses give: one instance runs
// and the other hands over to it and ends.
TEST_F(LifecycleFixture, PairedStartsLeaveExactlyOneInstance) {
    for (int pair = 0; pair < 20; ++pair) {
        SCOPED_TRACE(pair);
        e2e::Program first(home);
        e2e::Program second(home);
        ASSERT_TRUE(first.start() && second.start());
        ASSERT_TRUE(
            e2e::waitUntil([&] { return first.waitForExit(0ms) || second.waitForExit(0ms); }));
        const auto ends = std::pair{first.waitForExit(300ms), second.waitForExit(300ms)};
        EXPECT_NE(ends.first.has_value(), ends.second.has_value());
        EXPECT_EQ(ends.first.value_or(0) + ends.second.value_or(0), 0);
        EXPECT_EQ((ends.first ? second : first).stop(), 0);
    }
}
