#include "main/App/InstallUpkeep.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

QString resolvedPath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool removeItem(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        return QDir(path).removeRecursively();
    }
    return QFile::remove(path);
}

bool copyItem(const QString& source, const QString& destination) {
    const QFileInfo info(source);
    if (info.isSymLink()) {
        return QFile::link(info.symLinkTarget(), destination);
    }
    if (!info.isDir()) {
        return QFile::copy(source, destination);
    }
    if (!QDir().mkpath(destination)) {
        return false;
    }
    const QDir folder(source);
    const auto entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (!copyItem(folder.filePath(entry), QDir(destination).filePath(entry))) {
            return false;
        }
    }
    return true;
}

}  // namespace

InstallUpkeep::InstallUpkeep(platform::InstallEnvironment environment,
                             std::shared_ptr<platform::ProcessRunner> processRunner,
                             std::function<void()> terminateSoon)
    : environment(std::move(environment)),
      processRunner(std::move(processRunner)),
      terminateSoon(std::move(terminateSoon)) {}

bool InstallUpkeep::relocateFromDiskImageIfNeeded() {
    if (!environment.bundlePath || !environment.launcherTool) {
        return false;
    }
    const QString installFolder =
        QDir(environment.homeFolder).filePath(QStringLiteral("Applications"));
    const QString installTarget = QDir(installFolder).filePath(QStringLiteral("Quorvastelin.app"));
    const QString currentPath = resolvedPath(*environment.bundlePath);
    const QString targetPath = resolvedPath(installTarget);
    if (currentPath == targetPath || currentPath.startsWith(QStringLiteral("/Applications/"))) {
        return false;
    }
    if (!QDir().mkpath(installFolder)) {
        return false;
    }
    if (QFileInfo(targetPath).exists() || QFileInfo(targetPath).isSymLink()) {
        if (!removeItem(targetPath)) {
            return false;
        }
    }
    if (!copyItem(*environment.bundlePath, targetPath)) {
        return false;
    }
    if (!processRunner->run(*environment.launcherTool, {QStringLiteral("-n"), targetPath})
             .succeeded()) {
        return false;
    }
    terminateSoon();
    return true;
}

bool InstallUpkeep::migrateLegacyScreenCapturePermission() {
    if (!environment.permissionTool) {
        return false;
    }
    const QString marker =
        QDir(environment.supportFolder).filePath(QString::fromLatin1(markerName));
    if (QFileInfo::exists(marker)) {
        return false;
    }
    QDir().mkpath(environment.supportFolder);
    const QStringList arguments{QStringLiteral("reset"), QStringLiteral("ScreenCapture"),
                                QString::fromLatin1(bundleIdentifier)};
    if (!processRunner->run(*environment.permissionTool, arguments).succeeded()) {
        return false;
    }
    QFile markerFile(marker);
    markerFile.open(QIODevice::WriteOnly);
    return true;
}

bool InstallUpkeep::programRemoved() {
    if (!environment.programFile) {
        return false;
    }
    checksWithoutProgram =
        QFileInfo::exists(*environment.programFile) ? 0 : checksWithoutProgram + 1;
    return checksWithoutProgram >= 2;
}
