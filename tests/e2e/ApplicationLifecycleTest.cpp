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

TEST_F(LifecycleFixture, SecondStartHandsOverToTheFirstAndEnds) {
    e2e::Program first(home);
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(e2e::waitUntil([&] { return QFile::exists(database()); }));
    e2e::Program second(home);
    ASSERT_TRUE(second.start());
    EXPECT_EQ(second.waitForExit(), std::optional<int>(0));
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
