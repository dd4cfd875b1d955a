#include "tests/support/E2eSupport.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>

namespace {

constexpr int key4 = 13;
constexpr int key5 = 14;
constexpr uint8_t badAccess = 10;

const QString userOption = QStringLiteral("compose:ralt");
const QString ourOption = QStringLiteral("altwin:ctrl_win");

void setUserOptions(const QString& option) {
    ASSERT_EQ(e2e::runTool(QStringLiteral("setxkbmap"), {QStringLiteral("-option"), QString(),
                                                         QStringLiteral("-option"), option})
                  .exitCode,
              0);
}

bool mappingApplied() {
    return e2e::keyboardOptions() == QStringList{userOption, ourOption};
}

// Whether some other client holds Control plus the key: our own grab attempt is refused.
bool grabbedElsewhere(int keycode) {
    xcb_connection_t* connection = xcb_connect(e2e::display().toUtf8().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_grab_key_checked(connection, 0, root, XCB_MOD_MASK_CONTROL,
                                         static_cast<xcb_keycode_t>(keycode), XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC));
    const bool refused = error && error->error_code == badAccess;
    std::free(error);
    xcb_disconnect(connection);
    return refused;
}

// A private session bus with a StatusNotifier tray host on it, which clicks one item of the
// program's tray menu once the program's icon appears, as a user would.
class TrayHost {
  public:
    explicit TrayHost(const QString& itemLabel) {
        const QStringList lines =
            QString::fromUtf8(
                e2e::runTool(QStringLiteral("dbus-daemon"),
                             {QStringLiteral("--session"), QStringLiteral("--fork"),
                              QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")})
                    .output)
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.size() < 2) {
            return;
        }
        busAddress = lines[0].trimmed();
        busPid = lines[1].trimmed().toLongLong();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        host.setProcessEnvironment(environment);
        host.setStandardInputFile(QProcess::nullDevice());
        host.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(QV_TEST_SOURCE "/support/tray_host.py"), itemLabel});
    }
    ~TrayHost() {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished();
        }
        if (busPid > 0) {
            ::kill(static_cast<pid_t>(busPid), SIGTERM);
        }
    }
    bool said(const QByteArray& line) {
        output += host.readAllStandardOutput();
        return output.split('\n').contains(line);
    }
    QProcessEnvironment programEnvironment() const {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        return environment;
    }

  private:
    QString busAddress;
    qint64 busPid = -1;
    QProcess host;
    QByteArray output;
};

class WindowsModeProgramTest : public testing::Test {
  protected:
    void SetUp() override { setUserOptions(userOption); }

    void launch(const QProcessEnvironment& environment = {}) {
        program = std::make_unique<e2e::Program>(home.path(), environment);
        ASSERT_TRUE(program->start());
        ASSERT_TRUE(e2e::waitUntil(mappingApplied))
            << e2e::keyboardOptions().join(',').toStdString();
    }

    QTemporaryDir home;
    std::unique_ptr<e2e::Program> program;
};

TEST_F(WindowsModeProgramTest, LaunchAppliesTheMappingAndGrabsBothHotKeys) {
    launch();

    EXPECT_TRUE(e2e::waitUntil([] { return grabbedElsewhere(key4) && grabbedElsewhere(key5); }));
}

TEST_F(WindowsModeProgramTest, SigtermEndsCleanlyAndRemovesOnlyOurOption) {
    launch();

    program->signal(SIGTERM);

    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
    EXPECT_FALSE(grabbedElsewhere(key4));
}

TEST_F(WindowsModeProgramTest, UpkeepRestoresAMappingTheDesktopReset) {
    launch();

    setUserOptions(userOption);

    EXPECT_TRUE(e2e::waitUntil(mappingApplied));
    EXPECT_TRUE(e2e::waitUntil([] { return grabbedElsewhere(key4) && grabbedElsewhere(key5); }));
    program->signal(SIGTERM);
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
}

TEST_F(WindowsModeProgramTest, QuitFromTheTrayMenuEndsCleanlyAndRemovesOnlyOurOption) {
    TrayHost tray(QStringLiteral("Thoát"));
    ASSERT_TRUE(e2e::waitUntil([&] { return tray.said("ready"); }));

    launch(tray.programEnvironment());

    EXPECT_TRUE(e2e::waitUntil([&] { return tray.said("clicked Thoát"); }));
    EXPECT_EQ(program->waitForExit(), std::optional<int>(0));
    EXPECT_EQ(e2e::keyboardOptions(), QStringList{userOption});
}

}  // namespace
