#pragma once

#include <sys/types.h>
#include <QString>

// An Xvfb of the test process's own; -noreset keeps its keymap when the last client leaves.
class XServer {
  public:
    XServer();
    // A single screen of the given size, for benchmarks that need more room than the tests.
    XServer(int width, int height);
    ~XServer();
    bool started() const { return displayName.size() > 0; }
    const QString& display() const { return displayName; }
    pid_t pid() const { return serverPid; }

  private:
    pid_t serverPid = -1;
    QString displayName;
};
