#pragma once

#include "tests/support/E2eSupport.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace e2e {

// A headless sway desktop of two outputs, as a user of our own (the compositor refuses to run
// as root), with its own runtime folder and session bus, and, when asked, the desktop portals
// and PipeWire. HEADLESS-1 is 1280×720 at scale 1 at (0, 0); HEADLESS-2 is 1600×1200 pixels at
// scale 2 at (1280, 0), 800×600 points. Each shows a known picture. Ended as one process group.
class WaylandDesktop {
  public:
    static constexpr int userId = 65534;

    explicit WaylandDesktop(bool withPortals);
    ~WaylandDesktop();
    bool started() const { return ready; }

    // The prefix that runs a program as the desktop's user inside the session.
    QStringList runAs() const;
    const SessionBus& bus() const { return *sessionBus; }
    ToolResult run(const QString& program, const QStringList& arguments) const;
    // A folder the desktop's user owns, for a program's home.
    QString makeHome() const;
    // The picture an output shows, pixel for pixel.
    static QImage outputPicture(const QString& output);

  private:
    QTemporaryDir folder;
    QStringList sessionVariables;
    std::unique_ptr<SessionBus> sessionBus;
    qint64 sessionPid = -1;
    bool ready = false;
};

}  // namespace e2e
