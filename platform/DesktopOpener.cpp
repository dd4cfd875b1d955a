#include "platform/DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool SystemDesktopOpener::open(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace platform
