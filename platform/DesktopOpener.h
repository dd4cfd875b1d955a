#pragma once

#include <QString>

namespace platform {

// Opens a file or folder in the desktop's default application.
class DesktopOpener {
  public:
    virtual ~DesktopOpener() = default;
    virtual bool open(const QString& path) = 0;
};

class SystemDesktopOpener : public DesktopOpener {
  public:
    bool open(const QString& path) override;
};

}  // namespace platform
