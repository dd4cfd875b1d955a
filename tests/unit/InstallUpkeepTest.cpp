#include "main/App/InstallUpkeep.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Records every child process instead of starting one.
class FakeRunner : public platform::ProcessRunner {
  public:
    platform::ProcessOutcome run(const QString& program, const QStringList& arguments) override {
        calls << QStringList{program} + arguments;
        return outcome;
    }
    QList<QStringList> calls;
    platform::ProcessOutcome outcome{platform::ProcessOutcome::Kind::Exited, 0};
};

struct InstallFixture : testing::Test {
    QTemporaryDir root;
    QString home = root.filePath("home");
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    int terminations = 0;

    void SetUp() override { QDir().mkpath(home); }

    QString makeBundle(const QString& path) {
        QDir().mkpath(path + "/Contents/MacOS");
        QFile binary(path + "/Contents/MacOS/Quorvastelin");
        binary.open(QIODevice::WriteOnly);
        binary.write("new build");
        return path;
    }
    InstallUpkeep upkeep(std::optional<QString> bundle,
                         std::optional<QString> permissionTool = "/usr/bin/tccutil") {
        return InstallUpkeep(platform::InstallEnvironment{bundle, home, home + "/support",
                                                          "/usr/bin/open", permissionTool},
                             runner, [this] { ++terminations; });
    }
    QString target() const { return home + "/Applications/Quorvastelin.app"; }
};

}  // namespace

TEST_F(InstallFixture, InstalledCopiesOrNoBundleStayWhereTheyAre) {
    EXPECT_FALSE(upkeep(std::nullopt).relocateFromDiskImageIfNeeded());
    makeBundle(target());
    EXPECT_FALSE(upkeep(target()).relocateFromDiskImageIfNeeded());
    QFile::link(target(), home + "/link.app");
    EXPECT_FALSE(upkeep(home + "/link.app").relocateFromDiskImageIfNeeded());
    EXPECT_FALSE(upkeep("/Applications/Other.app").relocateFromDiskImageIfNeeded());
    EXPECT_TRUE(runner->calls.isEmpty());
    EXPECT_EQ(terminations, 0);
}

TEST_F(InstallFixture, StrayCopyReplacesTheInstalledOneAndStartsIt) {
    QDir().mkpath(target() + "/old-only");
    // Another name inside the install folder counts as stray too.
    const QString stray = makeBundle(home + "/Applications/Other.app");
    EXPECT_TRUE(upkeep(stray).relocateFromDiskImageIfNeeded());
    EXPECT_FALSE(QDir(target() + "/old-only").exists());
    QFile copied(target() + "/Contents/MacOS/Quorvastelin");
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "new build");
    ASSERT_EQ(runner->calls.size(), 1);
    EXPECT_EQ(runner->calls[0], (QStringList{"/usr/bin/open", "-n", target()}));
    EXPECT_EQ(terminations, 1);
}

TEST_F(InstallFixture, FailedLauncherMeansGoOnLaunching) {
    runner->outcome = {platform::ProcessOutcome::Kind::Exited, 1};
    EXPECT_FALSE(
        upkeep(makeBundle(root.filePath("dmg/Quorvastelin.app"))).relocateFromDiskImageIfNeeded());
    EXPECT_TRUE(QFile::exists(target() + "/Contents/MacOS/Quorvastelin"));
    EXPECT_EQ(terminations, 0);
}

TEST_F(InstallFixture, MigrationRunsOnceAndWritesTheMarker) {
    EXPECT_FALSE(upkeep(std::nullopt, std::nullopt).migrateLegacyScreenCapturePermission());
    EXPECT_TRUE(runner->calls.isEmpty());
    EXPECT_TRUE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    ASSERT_EQ(runner->calls.size(), 1);
    EXPECT_EQ(runner->calls[0], (QStringList{"/usr/bin/tccutil", "reset", "ScreenCapture",
                                             "local.quorvastelin.macos"}));
    EXPECT_TRUE(QFile::exists(home + "/support/tcc-signature-migrated-v2"));
    EXPECT_FALSE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    EXPECT_EQ(runner->calls.size(), 1);
}

TEST_F(InstallFixture, FailedResetIsRetriedNextLaunch) {
    runner->outcome = {platform::ProcessOutcome::Kind::LaunchFailed, -1};
    EXPECT_FALSE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
    EXPECT_FALSE(QFile::exists(home + "/support/tcc-signature-migrated-v2"));
    runner->outcome = {platform::ProcessOutcome::Kind::Exited, 0};
    EXPECT_TRUE(upkeep(std::nullopt).migrateLegacyScreenCapturePermission());
}
