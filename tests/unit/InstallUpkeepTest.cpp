#include "main/App/InstallUpkeep.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using Kind = platform::ProcessOutcome::Kind;

// Records every child process instead of starting one.
class FakeRunner : public platform::ProcessRunner {
  public:
    platform::ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        calls << QStringList{program} + arguments;
        return outcome;
    }
    QList<QStringList> calls;
    platform::ProcessOutcome outcome{Kind::Exited, 0};
};

struct InstallFixture : testing::Test {
    QTemporaryDir home;
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    int terminations = 0;

    QString makeBundle(const QString& path) {
        QDir().mkpath(path + "/Contents/MacOS");
        QFile binary(path + "/Contents/MacOS/Quorvastelin");
        binary.open(QIODevice::WriteOnly);
        binary.write("new build");
        return path;
    }
    InstallUpkeep upkeep(std::optional<QString> bundle,
                         std::optional<QString> permissionTool = "/usr/bin/tccutil") {
        return InstallUpkeep(platform::InstallEnvironment{bundle, home.path(), home.filePath("s"),
                                                          "/usr/bin/open", permissionTool},
                             runner, [this] { ++terminations; });
    }
    QString target() const { return home.filePath("Applications/Quorvastelin.app"); }
};

}  // namespace

TEST_F(InstallFixture, OnlyAStrayCopyReplacesTheInstalledOneAndStartsItUnlessTheLauncherFails) {
    makeBundle(target());
    QFile::link(target(), home.filePath("link.app"));
    for (const auto& bundle : {std::optional<QString>(), std::optional(target()),
                               std::optional(home.filePath("link.app")),
                               std::optional<QString>("/Applications/Other.app")}) {
        EXPECT_FALSE(upkeep(bundle).relocateFromDiskImageIfNeeded())
            << bundle.value_or("none").toStdString();
    }
    EXPECT_TRUE(runner->calls.isEmpty());

    QDir().mkpath(target() + "/old-only");
    // Another name inside the install folder counts as stray too.
    EXPECT_TRUE(upkeep(makeBundle(home.filePath("Applications/Other.app")))
                    .relocateFromDiskImageIfNeeded());
    EXPECT_FALSE(QDir(target() + "/old-only").exists());
    QFile copied(target() + "/Contents/MacOS/Quorvastelin");
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "new build");
    EXPECT_EQ(runner->calls, (QList<QStringList>{{"/usr/bin/open", "-n", target()}}));
    EXPECT_EQ(terminations, 1);

    runner->outcome = {Kind::Exited, 1};
    EXPECT_FALSE(
        upkeep(makeBundle(home.filePath("dmg/Quorvastelin.app"))).relocateFromDiskImageIfNeeded());
    EXPECT_EQ(terminations, 1);
}

TEST_F(InstallFixture, MigrationRunsOnceAndAFailedResetIsRetriedNextLaunch) {
    EXPECT_FALSE(upkeep(std::nullopt, std::nullopt).migrateLegacyScreenCapturePermission());
    runner->outcome = {Kind::LaunchFailed, -1};
    EXPECT_FALSE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    runner->outcome = {Kind::Exited, 0};
    EXPECT_TRUE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    EXPECT_TRUE(QFile::exists(home.filePath("s/tcc-signature-migrated-v2")));
    EXPECT_FALSE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    const QStringList reset{"/usr/bin/tccutil", "reset", "ScreenCapture",
                            "local.quorvastelin.macos"};
    EXPECT_EQ(runner->calls, QList<QStringList>({reset, reset}));
}
