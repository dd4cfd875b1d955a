#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

// A process counts as gone once it has ended, even before its new parent has reaped it.
bool running(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

}  // namespace

// Each row: how the program ends and the exit status that leaves. A killed or crashed program
// cannot clean up, yet the mapping must not outlive it, and nothing of ours may stay behind. A
// history file it cannot read is left alone, and the program runs all the same.
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
    } rows[] = {{SIGTERM, 0}, {SIGHUP, 0}, {SIGKILL, -1}, {SIGABRT, -1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        setUserKeyboard();
        e2e::Program program(home);
        ASSERT_TRUE(program.start());
        ASSERT_TRUE(e2e::waitUntil([&] { return e2e::keyboardOptions() == userAndOurs; }));
        if (row.signal == SIGTERM) {
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

        EXPECT_EQ(program.stop(row.signal), row.exitStatus);
        EXPECT_TRUE(e2e::waitUntil([&] {
            return e2e::keyboardOptions() == QStringList{"compose:ralt"};
        })) << e2e::keyboardOptions().join(',').toStdString();
        EXPECT_TRUE(e2e::waitUntil([&] { return !running(guardian); }));
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

// The command entry under a classic XEmbed tray. With no instance running, --screenshot starts
// one, whose icon paints in the tray's panel, and selects a region; later starts hand their
// request to it and end; anything else is a usage error.
TEST_F(LifecycleFixture, WithAnXEmbedTrayTheIconPaintsAndLaterStartsHandTheirCommandOver) {
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
    e2e::Program first(home, bus.environment());
    ASSERT_TRUE(first.start({"--screenshot"}));
    ASSERT_TRUE(e2e::waitUntil([&] { return status() == "Đang chọn vùng chụp…"; }));
    e2e::xdotool({"key", "Escape"});
    ASSERT_TRUE(e2e::waitUntil([&] { return status() == "Đã hủy chụp màn hình"; }));
    // More than the panel's one colour.
    EXPECT_TRUE(e2e::waitUntil([&] { return e2e::colourCount(panel.output.trimmed()) > 1; }));

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
}
