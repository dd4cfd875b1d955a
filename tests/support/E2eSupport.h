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

class QProcess;

namespace e2e {

struct Monitor {
    int x, y, width, height;
};
// A (left, primary) and B (right, higher): the union has gaps above A and below B.
inline constexpr Monitor monitorA{0, 120, 1920, 1080};
inline constexpr Monitor monitorB{1920, 0, 1280, 1024};
inline constexpr int screenWidth = 3200;
inline constexpr int screenHeight = 1200;

// The program's main window and image editor, by their titles.
inline const QString mainTitle = QStringLiteral("Quorvastelin 1.0.0");
inline const QString editorTitle = QStringLiteral("Chỉnh sửa ảnh — Quorvastelin");

// Channels' largest difference between two colours.
int channelGap(QColor a, QColor b);

QString display();
// The first monitor takes the server's own output, so no automatic one remains.
void setMonitor(const QString& name, const Monitor& monitor, const QString& output);

struct ToolResult {
    int exitCode = -1;
    QByteArray output;
};
ToolResult runTool(const QString& program, const QStringList& arguments,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20),
                   const QProcessEnvironment& extra = {});

// A copy that a desktop run as another user can run or read.
QString reachableByAnyone(const QString& path);

bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
// A key pressed while the program re-grabs its hot keys is lost, and a user presses again.
bool repeatUntil(const std::function<void()>& action, const std::function<bool()>& done);

// The first symbol of a key, by its XKB name, in its first group of a keymap as XKB text.
QString firstSymbol(const QString& keymap, const QString& key);

// Every pixel's colour encodes its position; shown on the root, captures have known pixels.
void showOnRoot(const QImage& picture);
QImage positionPattern();
QRgb positionColour(int x, int y);

// The real keyboard and pointer, in root window pixels.
bool xdotool(const QStringList& arguments);
bool drag(QPoint from, QPoint to, const std::function<void()>& whileHeld = {});
// The modifier, then the key held for 0.4 s, as people press chords.
void holdChord(int modifierKeycode, int keycode);

// Openbox and picom, as ordinary desktops run them: frames, workspaces, real translucency.
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

QString keyboardSetting(const QString& field);
QStringList keyboardOptions();
bool windowsModeOn();

// Colours a window ("root" for the screen) shows, in an area of it or all of it.
int colourCount(const QString& window, const QRect& area = {});

// A private session bus with the accessibility bus on it, for reading the program and its tray.
class SessionBus {
  public:
    // runAs: the command prefix that runs a program as the session's user, when not us.
    explicit SessionBus(QStringList runAs = {});
    ~SessionBus();
    bool started() const { return !address.isEmpty(); }
    QProcessEnvironment environment() const;
    // Per object: role, name, text, "showing"/"hidden", screen extents, tab-separated.
    QStringList read(const QString& applicationName) const;
    // Presses the first push button or check box with this title through its accessible action.
    bool press(const QString& applicationName, const QString& buttonTitle) const;

  private:
    ToolResult run(const QString& program, const QStringList& arguments) const;
    void configure(QProcess& process, const QString& program, const QStringList& arguments) const;

    QStringList runAs;
    QString address;
    qint64 daemonPid = -1;
    qint64 launcherPid = -1;
};

struct Accessible {
    QString role;
    QString name;
    QString text;
    bool showing = false;
    QRect extents;
};

// The program on a session bus, read as assistive technology hears it; or another application,
// named.
class ProgramView {
  public:
    explicit ProgramView(const SessionBus& bus, QString application = "quorvastelin")
        : bus(bus), application(std::move(application)) {}
    QList<Accessible> tree() const;
    std::string dump() const;
    std::optional<Accessible> shown(const QString& role, const QString& name) const;
    bool shows(const QString& name) const;
    // A label, shown or in a hidden window: the status line.
    bool says(const QString& text) const;
    std::optional<QString> labelStartingWith(const QString& prefix) const;
    bool click(const QString& buttonTitle) const;

  private:
    const SessionBus& bus;
    QString application;
};

// A StatusNotifier tray host that clicks the program's tray menu items, as a user would.
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

// The region overlay is a shown window of the program covering the whole X screen.
bool overlayShown(qint64 programPid);

// WM_DELETE_WINDOW to the shown window with this exact title, as a close button sends it.
bool closeWindow(const QString& title);

// The built program (or the copy at path, an installed one) with a temporary home. A program
// that dies at exit (a sanitizer report, heap corruption) shows only in its exit status, so the
// test fails unless it has read it.
class Program {
  public:
    explicit Program(QString home, QProcessEnvironment extra = {}, QStringList runAs = {},
                     const QString& path = {});
    ~Program();
    bool start(const QStringList& arguments = {});
    // As a desktop's key binding starts it: the command entry, found through PATH, run in
    // the given folder.
    bool startThroughCommandEntry(const QStringList& arguments, const QString& folder);
    qint64 pid() const;
    void signal(int signalNumber) const;
    // Nothing while it still runs at the limit.
    std::optional<int> waitForExit(std::chrono::milliseconds limit = std::chrono::seconds(20));
    std::optional<int> stop(int signalNumber = SIGTERM);
    QString historyPath() const;
    // kind: "Screenshots" or "Recordings".
    QString capturesFolder(const QString& kind) const;

  private:
    QProcess& prepare();

    QString home;
    QProcessEnvironment extra;
    QStringList runAs;
    QString path;
    std::unique_ptr<QProcess> process;
    bool exitStatusRead = false;
};

bool pressUntilOverlay(const Program& program, const std::function<void()>& press);

}  // namespace e2e
