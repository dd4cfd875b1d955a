#include "platform/Folders.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

QString homeFolder() {
    return QDir::homePath();
}

QString documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString supportFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quorvastelin");
}

}  // namespace platform
