#include "tests/support/E2eSupport.h"
#include "tests/support/HistoryFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>

namespace {

// A home whose path has spaces and Vietnamese letters, as real users' homes may.
struct LifecycleFixture : testing::Test {
    QTemporaryDir root;
    QString home = root.filePath("Nguyễn Văn Ánh");
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(home)); }
    QString database() const { return home + "/.local/share/Quorvastelin/history.db"; }
};

}  // namespace

TEST_F(LifecycleFixture, StartsCreatesTheHistoryStoreAndEndsCleanlyOnSigterm) {
    e2e::Program program(home);
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(e2e::waitUntil([&] { return !historyFile::read(database()).schema.isEmpty(); }));
    EXPECT_EQ(historyFile::read(database()).schema, historyFile::expectedSchema);
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
}

// The command entry. With no instance running, --screenshot starts one and selects a region;
// later starts hand their request to it and end; anything else is a usage error.
TEST_F(LifecycleFixture, StartsHandTheirCommandToTheRunningInstance) {
    e2e::SessionBus bus;
    const auto status = [&bus] {
        for (const e2e::Accessible& node :
             e2e::parseAccessibles(bus.read(QStringLiteral("quorvastelin")))) {
            if (node.role == QStringLiteral("label") && node.name.startsWith("Đ")) {
                return node.name;
            }
        }
        return QString();
    };
    e2e::Program first(home, bus.environment());
    ASSERT_TRUE(first.start({QStringLiteral("--screenshot")}));
    const struct {
        QStringList arguments;
        int exitStatus;
        QString selecting;
        QString cancelled;
    } starts[] = {
        {{}, 0, {}, {}},
        {{"--record"}, 0, "Đang chọn vùng quay…", "Đã hủy quay màn hình"},
        {{"--screenshot"}, 0, "Đang chọn vùng chụp…", "Đã hủy chụp màn hình"},
        {{"--screenshot", "--record"}, 2, {}, {}},
        {{"-h"}, 2, {}, {}},
    };
    ASSERT_TRUE(e2e::waitUntil([&] { return status() == "Đang chọn vùng chụp…"; }));
    e2e::runTool(QStringLiteral("xdotool"), {"key", "Escape"});
    ASSERT_TRUE(e2e::waitUntil([&] { return status() == "Đã hủy chụp màn hình"; }));
    const QString otherHome = root.filePath("other");
    QDir().mkpath(otherHome);
    for (const auto& start : starts) {
        SCOPED_TRACE(start.arguments.join(' ').toStdString());
        e2e::Program later(otherHome);
        ASSERT_TRUE(later.start(start.arguments));
        EXPECT_EQ(later.waitForExit(), std::optional<int>(start.exitStatus));
        if (start.exitStatus == 2) {
            QFile output(otherHome + "/program-output.txt");
            output.open(QIODevice::ReadOnly);
            EXPECT_EQ(output.readAll(), "Cách dùng: quorvastelin [--screenshot | --record]\n");
        }
        if (!start.selecting.isEmpty()) {
            EXPECT_TRUE(e2e::waitUntil([&] { return status() == start.selecting; }));
            e2e::runTool(QStringLiteral("xdotool"), {"key", "Escape"});
            EXPECT_TRUE(e2e::waitUntil([&] { return status() == start.cancelled; }));
        }
    }
    EXPECT_FALSE(first.waitForExit(std::chrono::milliseconds(300)).has_value());
    first.signal(SIGINT);
    EXPECT_EQ(first.waitForExit(), std::optional<int>(0));
}

TEST_F(LifecycleFixture, CorruptHistoryFileIsLeftAloneAndTheProgramRuns) {
    QDir().mkpath(home + "/.local/share/Quorvastelin");
    const QByteArray junk = QByteArray("definitely not sqlite").repeated(100);
    QFile file(database());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(junk);
    file.close();
    e2e::Program program(home);
    ASSERT_TRUE(program.start());
    EXPECT_FALSE(program.waitForExit(std::chrono::seconds(2)).has_value());
    program.signal(SIGHUP);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

// A classic XEmbed tray and no StatusNotifier host: the tray's panel, of one colour while
// empty, shows the icon.
TEST_F(LifecycleFixture, TrayIconPaintsInAnXEmbedTray) {
    QProcess tray;
    tray.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "left"});
    e2e::ToolResult panel;
    ASSERT_TRUE(e2e::waitUntil([&] {
        panel = e2e::runTool("xdotool", {"search", "--onlyvisible", "--name", "^panel$"});
        return panel.exitCode == 0;
    }));
    e2e::Program program(home);
    ASSERT_TRUE(program.start());
    const QString picture = home + "/tray.png";
    const auto iconPainted = [&] {
        if (e2e::runTool("import", {"-window", panel.output.trimmed(), picture}).exitCode != 0) {
            return false;
        }
        const QImage slot(picture);
        QSet<QRgb> colours;
        for (int y = 0; y < slot.height(); ++y) {
            for (int x = 0; x < slot.width(); ++x) {
                colours.insert(slot.pixel(x, y));
            }
        }
        return colours.size() > 1;
    };
    EXPECT_TRUE(e2e::waitUntil(iconPainted));
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(), std::optional<int>(0));
    tray.kill();
    tray.waitForFinished();
}
