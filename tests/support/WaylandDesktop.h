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
#include <utility>
#include <vector>

namespace e2e {

// A headless sway desktop run as a user of our own (sway refuses root), with its own session bus
// and, when asked, the portals and PipeWire. HEADLESS-1 is 1280×720 at scale 1 at (0, 0),
// HEADLESS-2 1600×1200 pixels at scale 2 beside it, unless told otherwise; each shows
// outputPicture(). Nested, sway
// runs in a window of an Xvfb whose keyboard it takes, with the user's option compose:ralt.
// The portal shares sharedOutput without asking, or without one refuses, as a dismissed chooser.
class WaylandDesktop {
  public:
    static constexpr int userId = 65534;

    // How a sway desktop is set up, each part named where the desktop is made:
    // WaylandDesktop(WaylandDesktop::Sway{.portals = true, .inXServer = true, .layout = "fr"}).
    struct Sway {
        // An output's own pixels and scale; outputs stand side by side in order.
        Sway& output(const QString& name, QSize pixels, double scale) {
            for (Output& output : outputs) {
                if (output.name == name) {
                    output = {name, pixels, scale};
                }
            }
            return *this;
        }

        struct Output {
            QString name;
            QSize pixels;
            double scale = 1;
            QSize points() const { return (QSizeF(pixels) / scale).toSize(); }
        };
        std::vector<Output> outputs = {{"HEADLESS-1", QSize(1280, 720), 1},
                                       {"HEADLESS-2", QSize(1600, 1200), 2}};
        bool portals = false;
        std::optional<QString> sharedOutput = QStringLiteral("HEADLESS-1");
        bool inXServer = false;
        // The keyboard's XKB layout in the user's configuration; without one, sway's default.
        QString layout = {};
    };
    explicit WaylandDesktop(const Sway& sway);
    // A headless KWin desktop instead, compositing with OpenGL: one output of 1280×720 points at
    // the scale given, Virtual-0, showing outputPicture(); the desktop portal with KDE's backend,
    // and KDE's global shortcuts.
    struct Kwin {
        double scale = 1;
    };
    explicit WaylandDesktop(Kwin kwin);
    // A headless GNOME Shell: one 1280×720 monitor showing outputPicture(), PipeWire, the portal
    // with the backends a GNOME desktop installs (or others beside them), GNOME's media keys, the
    // user's option compose:ralt and the keyboard layout asked for. Screenshots are allowed
    // beforehand unless the shell is to ask.
    struct Gnome {
        QStringList portalBackends = {"gnome", "gnome-shell", "gtk"};
        QString layout = "us";
        bool screenshotsAllowed = true;
    };
    explicit WaylandDesktop(const Gnome& gnome);
    ~WaylandDesktop();
    bool started() const { return ready; }

    // The prefix that runs a program as the desktop's user inside the session.
    QStringList runAs() const;
    const SessionBus& bus() const { return *sessionBus; }
    ToolResult run(const QString& program, const QStringList& arguments) const;
    // The keymap the compositor hands its clients' keyboards, as XKB text.
    QString clientKeymap() const;
    // On KWin, asks KDE's shortcut service for the program's shortcut, as a press of its keys
    // does; false while the program has not registered it.
    bool invokeShortcut(const QString& name) const;
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
    QImage outputPicture(const QString& output) const;
    QString configFolder() const;
    // The program's region overlay is up: one window of it covers each output.
    bool overlayOnEachOutput(const ProgramView& view) const;
    // Each output's place in layout points.
    std::vector<std::pair<QString, QRect>> outputFrames() const;

    bool isGnome() const { return onGnome; }

  private:
    bool onKwin() const;
    void startSession(const QString& desktopName, const QString& script,
                      const QStringList& arguments);

    // xdg-desktop-portal-wlr writes every screenshot to one fixed file, /tmp/out.png, so
    // sway desktops of tests run at once take turns.
    int turn = -1;
    QTemporaryDir folder{QDir::tempPath() + QStringLiteral("/quorvastelin-desktop-XXXXXX")};
    QStringList sessionVariables;
    std::vector<Sway::Output> outputs;
    std::unique_ptr<SessionBus> sessionBus;
    qint64 sessionPid = -1;
    QString xDisplay;
    bool onGnome = false;
    bool ready = false;
};

// A pointer on the Wayland desktop that stays plugged in, moved and pressed like a mouse; on
// GNOME a keyboard beside it.
class WaylandPointer {
  public:
    explicit WaylandPointer(const WaylandDesktop& desktop);
    ~WaylandPointer();
    // Layout coordinates in points.
    bool moveTo(QPoint point);
    bool click();
    bool drag(QPoint from, QPoint to);
    // Types a key by its evdev code; KWin's fake input only.
    bool type(int keyCode);
    // Keys by evdev code, held together as a chord.
    bool press(const QList<int>& keys);
    // Clicks what an application shows, where it shows it, once it does.
    bool clickOn(const ProgramView& view, const QString& role, const QString& name);

  private:
    bool send(const QByteArray& command);
    QProcess pointer;
};

}  // namespace e2e
