#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// What the end-to-end tests share: the Xvfb this test process started (two monitors of
// different sizes, so that gaps exist), and ways to drive and read the real program.
class QProcess;

namespace e2e {

struct Monitor {
    int x, y, width, height;
};
// Monitor A (left, primary) and B (right, taller origin): the union has gaps above A and
// below B.
inline constexpr Monitor monitorA{0, 120, 1920, 1080};
inline constexpr Monitor monitorB{1920, 0, 1280, 1024};
inline constexpr int screenWidth = 3200;
inline constexpr int screenHeight = 1200;

QString display();
// Declares a monitor; the first takes the server's own output, so no automatic one remains.
void setMonitor(const QString& name, const Monitor& monitor, const QString& output);

struct ToolResult {
    int exitCode = -1;
    QByteArray output;
};
// Runs a tool against the test display, or what the extra environment names, and waits for it.
ToolResult runTool(const QString& program, const QStringList& arguments,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20),
                   const QProcessEnvironment& extra = {});

// A copy of this file that any user can run or read, with the same name, beside the other
// copies: a checkout in a folder only we may enter is out of reach of a desktop run as another
// user.
QString reachableByAnyone(const QString& path);

// Polls until the condition holds or the limit passes; the limit only bounds a hang.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// Repeats an action until it has taken effect. A key pressed in the instant the program
// re-grabs its hot keys after changing the keyboard mapping goes elsewhere, as it would for a
// user, who would press again.
bool repeatUntil(const std::function<void()>& action, const std::function<bool()>& done);

// Shows a picture as the root window's background, so captures have known pixels.
void showOnRoot(const QImage& picture);
// The pattern the capture tests expect: every pixel's colour encodes its position.
QImage positionPattern();
QRgb positionColour(int x, int y);

// The real keyboard and pointer of the test display, in root window pixels.
bool xdotool(const QStringList& arguments);
bool clickAt(QPoint point);
// Presses the left button at one point, moves in steps to the other and, once whatever should
// happen while it is held has, lets go.
bool drag(QPoint from, QPoint to, const std::function<void()>& whileHeld = {});
// Presses a chord as people do: the modifier, then the key held for 0.4 s, then both let go.
void holdChord(int modifierKeycode, int keycode);

// A window manager and a compositing manager on the test display, as ordinary desktops run
// them: windows get frames and workspaces, translucency is real, and the root picture reaches
// the screen through the compositor.
class WindowManager {
  public:
    WindowManager();
    ~WindowManager();
    bool started() const { return ready; }

  private:
    qint64 managerPid = -1;
    qint64 compositorPid = -1;
    bool ready = false;
};

// One field of `setxkbmap -query` ("layout", "options", ...); empty when the field is absent.
QString keyboardSetting(const QString& field);
// The XKB options the server carries, in order.
QStringList keyboardOptions();
// Whether the server carries our option, which maps both Super keys to Control.
bool windowsModeOn();

// Saves a picture of the whole X screen under the build folder for a person to look at.
QString saveScreenPicture(const QString& name);
// How many colours a window ("root" for the screen) shows in an area of it, or in all of it.
int colourCount(const QString& window, const QRect& area = {});

// A private session bus with the accessibility bus on it, so a test can read the program's
// labels, buttons and window titles as assistive technology hears them, and reach its tray
// menu as a desktop's tray does.
class SessionBus {
  public:
    // runAs: the command prefix that runs a program as the session's user, when that is not us.
    explicit SessionBus(QStringList runAs = {});
    ~SessionBus();
    bool started() const { return !address.isEmpty(); }
    // What a program started with environment() needs to publish its accessible tree.
    QProcessEnvironment environment() const;
    // One line per accessible object: role, name, text, "showing"/"hidden" and screen
    // extents, tab-separated.
    QStringList read(const QString& applicationName) const;
    // Presses the application's first push button with this title through its accessible
    // action; false when there is none.
    bool press(const QString& applicationName, const QString& buttonTitle) const;

  private:
    QString readerScript() const;
    ToolResult run(const QString& program, const QStringList& arguments) const;
    // Sets a program up to run as the session's user with the bus in its environment.
    void configure(QProcess& process, const QString& program, const QStringList& arguments) const;

    QStringList runAs;
    QString address;
    qint64 daemonPid = -1;
    qint64 launcherPid = -1;
};

// One accessible object as read from the tree.
struct Accessible {
    QString role;
    QString name;
    QString text;
    bool showing = false;
    QRect extents;
};
QList<Accessible> parseAccessibles(const QStringList& lines);
// The first object with this role whose name is exactly the given one.
std::optional<Accessible> findAccessible(const QList<Accessible>& tree, const QString& role,
                                         const QString& name);

// What the program on a session bus shows, read as assistive technology hears it.
class ProgramView {
  public:
    explicit ProgramView(const SessionBus& bus) : bus(bus) {}
    QList<Accessible> tree() const;
    // The whole tree, for a failure message.
    std::string dump() const;
    // The object with this role and name, while it is shown.
    std::optional<Accessible> shown(const QString& role, const QString& name) const;
    // Whether a shown object has this name: a window title, a label, a button.
    bool shows(const QString& name) const;
    // Whether a label says this, shown or in a hidden window: the status line.
    bool says(const QString& text) const;
    // What the first label beginning with this prefix says.
    std::optional<QString> labelStartingWith(const QString& prefix) const;
    // Clicks the shown push button with this title with the real pointer.
    bool click(const QString& buttonTitle) const;

  private:
    const SessionBus& bus;
};

// A StatusNotifier tray host on the bus: it clicks items of the program's tray menu once the
// program's tray icon has registered, as a user would in a desktop's tray.
class TrayHost {
  public:
    explicit TrayHost(const SessionBus& bus);
    ~TrayHost();
    void click(const QString& itemLabel);
    bool said(const QByteArray& line);

  private:
    std::unique_ptr<QProcess> host;
    QByteArray output;
};

// The region overlay is up once a shown window of the program covers the whole X screen.
bool overlayShown(qint64 programPid);

// Sends WM_DELETE_WINDOW to the shown window with this exact title, as a window manager's close
// button does; false when no such window exists.
bool closeWindow(const QString& title);

// The built program, started against the test display with a temporary home. A program that
// dies at exit (a sanitizer report, heap corruption) shows only in its exit status, so the
// test fails unless it has read that status.
class Program {
  public:
    // runAs: the prefix that runs it as another user, when not as us.
    explicit Program(QString home, QProcessEnvironment extra = {}, QStringList runAs = {});
    ~Program();
    bool start(const QStringList& arguments = {});
    qint64 pid() const;
    void signal(int signalNumber) const;
    // Exit code once the program has ended, or nothing when it is still running at the limit.
    std::optional<int> waitForExit(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Signals the program and waits for its exit code.
    std::optional<int> stop(int signalNumber = SIGTERM);
    QString historyPath() const;
    // Where its captures of a kind go: "Screenshots" or "Recordings".
    QString capturesFolder(const QString& kind) const;

  private:
    QString home;
    QProcessEnvironment extra;
    QStringList runAs;
    std::unique_ptr<QProcess> process;
    bool exitStatusRead = false;
};

// Presses until the program's region overlay is up (see repeatUntil).
bool pressUntilOverlay(const Program& program, const std::function<void()>& press);

}  // namespace e2e
