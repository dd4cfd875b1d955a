#pragma once

#include <QString>
#include <memory>

namespace platform {

// An exclusive lock on a file, held until released or until the process ends however it
// ends, so a lock found free means its last holder is gone.
class FileLock {
  public:
    // Creates the file when needed; nothing when another process holds the lock.
    static std::unique_ptr<FileLock> tryAcquire(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    explicit FileLock(int descriptor) : descriptor(descriptor) {}
    int descriptor;
};

}  // namespace platform
