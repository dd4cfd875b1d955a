#pragma once

#include "tests/support/E2eSupport.h"

#include <sys/types.h>
#include <QString>

// An Xvfb of the test process's own; -noreset keeps its keymap when the last client leaves.
class XServer {
  public:
    // The test monitors' screen unless a benchmark asks for another size.
    explicit XServer(int width = e2e::screenWidth, int height = e2e::screenHeight);
    ~XServer();
    bool started() const { return displayName.size() > 0; }
    const QString& display() const { return displayName; }
    pid_t pid() const { return serverPid; }

  private:
    pid_t serverPid = -1;
    QString displayName;
};
