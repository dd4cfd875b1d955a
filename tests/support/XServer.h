#pragma once

#include <sys/types.h>
#include <QString>

// An Xvfb of the test process's own; -noreset keeps its keymap when the last client leaves.
class XServer {
  public:
    XServer();
    ~XServer();
    bool started() const { return displayName.size() > 0; }
    const QString& display() const { return displayName; }

  private:
    pid_t serverPid = -1;
    QString displayName;
};
