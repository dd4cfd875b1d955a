#include "main/CaptureService/CaptureFileNaming.h"

#include <QDir>
#include <QFileInfo>

QString chooseCaptureFilePath(const QString& folder, const QString& base, const QString& extension,
                              const QDateTime& now) {
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QDir directory(folder);
    QString candidate = directory.absoluteFilePath(base + '_' + stamp + '.' + extension);
    for (int suffix = 1; QFileInfo::exists(candidate); ++suffix) {
        candidate = directory.absoluteFilePath(base + '_' + stamp + '_' + QString::number(suffix) +
                                               '.' + extension);
    }
    return candidate;
}
