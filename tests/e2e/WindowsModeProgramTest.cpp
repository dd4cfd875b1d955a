#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

namespace {

const QString userOption = QStringLiteral("compose:ralt");
const QString ourOption = QStringLiteral("altwin:ctrl_win");

void setUserOptions(const QString& option) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("setxkbmap"), {QStringLiteral("-option"), QString(),
                                                         QStringLiteral("-option"), option})
                  .exitCode,
              0);
}

// A process counts as gone once it has ended, even before its new parent has reaped it.
bool running(const QString& pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

bool mappingApplied() {
    return e2e::keyboardOptions() == QStringList{userOption, ourOption};
}

class WindowsModeProgramTest : public testing::Test {
  protected:
    void SetUp() override { setUserOptions(userOption); }

    void launch(const QProcessEnvironment& environment = {}) {
        program = std::make_unique<e2e::Program>(home.path(), environment);
        ASSERT_TRUE(program->start());
        ASSERT_TRUE(e2e::waitUntil(mappingApplied))
            << e2e::keyboardOptions().join(',').toStdString();
    }

    // The main window's button with this title, read once the window is on screen.
    static std::optional<e2e::Accessible> windowButton(const e2e::SessionBus& bus,
                                                       const QString& title) {
        QList<e2e::Accessible> tree;
        e2e::waitUntil([&] {
            tree = e2e::parseAccessibles(bus.read(QStringLiteral("quorvastelin")));
            return e2e::findAccessible(tree, QStringLiteral("push button"),
                                       QStringLiteral("Ẩn cửa sổ")) &&
                   e2e::runTool(QStringLiteral("xdotool"),
                                {"search", "--onlyvisible", "--name", "^Quorvastelin 1.0.0$"})
                           .exitCode == 0;
        });
        return e2e::findAccessible(tree, QStringLiteral("push button"), title);
    }

    QTemporaryDir home;
    std::unique_ptr<e2e::Program> program;
};

// Each row: how the program ends and the exit status that leaves. A killed or crashed program
// cannot clean up, yet the mapping must not outlive it, and nothing of ours may stay behind.
TEST_F(WindowsModeProgramTest, LaunchAndUpkeepApplyTheMappingAndAnyEndRemovesOnlyOurOption) {
    const struct {
        int signal;
        std::optional<int> exitStatus;
    } rows[] = {{SIGTERM, 0}, {SIGKILL, -1}, {SIGABRT, -1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        setUserOptions(userOption);
        launch();
        setUserOptions(userOption);
        EXPECT_TRUE(e2e::waitUntil(mappingApplied)) << "the upkeep restores a reset mapping";
        const QString guardian =
            e2e::runTool(QStringLiteral("pgrep"),
                         {"-P", QString::number(program->pid()), "-f", "quorvastelin-keyguard"})
                .output.trimmed();
        EXPECT_FALSE(guardian.isEmpty());

        program->signal(row.signal);
        EXPECT_EQ(program->waitForExit(), row.exitStatus);
        EXPECT_TRUE(e2e::waitUntil([] {
            return e2e::keyboardOptions() == QStringList{userOption};
        })) << e2e::keyboardOptions().join(',').toStdString();
        EXPECT_TRUE(e2e::waitUntil([&] { return !running(guardian); }));
    }
}

TEST_F(WindowsModeProgramTest, QuitFromTheTrayMenuEndsCleanlyAndRemovesOnlyOurOption) {
    e2e::SessionBus bus;
    e2e::TrayHost tray(bus);
    ASSERT_TRUE(e2e::waitUntil([&] { return tray.said("ready"); }));

    launch(bus.environment());
    EXPECT_FALSE(windowButton(bus, QStringLiteral("Thoát")).has_value());
    tray.click(QStringLiteral("Thoát"));

    EXPECT_TRUE(e2e::waitUntil([&] { return tray.said("clicked Thoát"); }));
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
}

TEST_F(WindowsModeProgramTest, WithoutATrayTheWindowsQuitButtonEndsCleanlyAndRemovesOnlyOurOption) {
    e2e::SessionBus bus;
    launch(bus.environment());
    const std::optional<e2e::Accessible> quit = windowButton(bus, QStringLiteral("Thoát"));
    ASSERT_TRUE(quit.has_value());
    const QPoint centre = quit->extents.center();
    e2e::runTool(QStringLiteral("xdotool"), {"mousemove", QString::number(centre.x()),
                                             QString::number(centre.y()), "click", "1"});

    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
}

}  // namespace
