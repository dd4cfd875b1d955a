#pragma once

#include "tests/support/E2eSupport.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace e2e {

// A headless sway desktop of two outputs, as a user of our own (the compositor refuses to run
// as root), with its own runtime folder and session bus, and, when asked, the desktop portals
// and PipeWire. HEADLESS-1 is 1280×720 at scale 1 at (0, 0); HEADLESS-2 is 1600×1200 pixels at
// scale 2 at (1280, 0), 800×600 points. Each shows a known picture. Ended as one process group.
// Nested, sway instead runs in a window of an Xvfb and has that server's keyboard, one output
// of 1280×720. Its configuration sets the user's own keyboard option, compose:ralt.
// When a program asks to share a screen, the portal shares sharedOutput without asking, or,
// without one, refuses as when the user dismisses its chooser.
class WaylandDesktop {
  public:
    static constexpr int userId = 65534;

    explicit WaylandDesktop(bool withPortals,
                            std::optional<QString> sharedOutput = QStringLiteral("HEADLESS-1"),
                            bool nested = false);
    // A headless KWin desktop instead: one 1280×720 output, the desktop portal with KDE's
    // backend, and KDE's global shortcuts.
    struct Kwin {};
    explicit WaylandDesktop(Kwin);
    ~WaylandDesktop();
    bool started() const { return ready; }

    // The prefix that runs a program as the desktop's user inside the session.
    QStringList runAs() const;
    const SessionBus& bus() const { return *sessionBus; }
    ToolResult run(const QString& program, const QStringList& arguments) const;
    // The keymap the compositor hands its clients' keyboards, as XKB text.
    QString clientKeymap() const;
    // Keys typed on the X server a nested desktop takes its keyboard from.
    ToolResult typeOnXServer(const QStringList& xdotoolArguments) const;
    // A folder the desktop's user owns, for a program's home.
    QString makeHome() const;
    // The built program as the desktop's user in that home, its window read through bus();
    // variables override the session's.
    Program program(const QStringList& variables = {}) const;
    // Where the content of the window with this title begins, in layout points, as the
    // compositor placed it; Wayland tells no client where its windows are.
    std::optional<QPoint> contentOrigin(const QString& title) const;
    // What an output shows now, as the compositor composes it.
    QImage outputShown(const QString& output) const;
    // The picture an output shows, pixel for pixel.
    static QImage outputPicture(const QString& output);
    // Where the desktop and the programs on it keep their settings.
    QString configFolder() const;
    // The program's region overlay is up: one window of it covers each output.
    static bool overlayOnEachOutput(const ProgramView& view);

  private:
    void startSession(const QString& desktopName, const QString& script,
                      const QStringList& arguments);

    // xdg-desktop-portal-wlr writes every screenshot to one fixed file, /tmp/out.png, so
    // sway desktops of tests run at once take turns.
    int turn = -1;
    QTemporaryDir folder{QDir::tempPath() + QStringLiteral("/quorvastelin-desktop-XXXXXX")};
    QStringList sessionVariables;
    std::unique_ptr<SessionBus> sessionBus;
    qint64 sessionPid = -1;
    QString xDisplay;
    bool ready = false;
};

// A pointer on the Wayland desktop that stays plugged in, moved and pressed like a mouse.
class WaylandPointer {
  public:
    explicit WaylandPointer(const WaylandDesktop& desktop);
    ~WaylandPointer();
    // Layout coordinates in points.
    bool moveTo(QPoint point);
    bool click();
    bool drag(QPoint from, QPoint to);

  private:
    bool send(const QByteArray& command);
    QProcess pointer;
};

}  // namespace e2e
