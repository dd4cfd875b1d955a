#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QFile>

namespace platform {

std::unique_ptr<FileLock> FileLock::tryAcquire(const QString& path) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return nullptr;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(descriptor));
}

FileLock::~FileLock() {
    ::close(descriptor);
}

}  // namespace platform
