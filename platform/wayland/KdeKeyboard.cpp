#include "platform/wayland/KdeKeyboard.h"

#include "platform/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>

namespace platform {

namespace {

const QString layoutGroup = QStringLiteral("[Layout]");
const QString optionsKey = QStringLiteral("Options");
const QString resetKey = QStringLiteral("ResetOldOptions");

bool isGroupHeader(const QString& line) {
    return line.trimmed().startsWith(QLatin1Char('['));
}

// The key of a "key=value" line; nothing for anything else.
std::optional<QString> entryKey(const QString& line) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0 || isGroupHeader(line)) {
        return std::nullopt;
    }
    return line.left(equals).trimmed();
}

QString entryValue(const QString& line) {
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

bool isTrue(const QString& value) {
    return QStringList{QStringLiteral("true"), QStringLiteral("on"), QStringLiteral("yes"),
                       QStringLiteral("1")}
        .contains(value, Qt::CaseInsensitive);
}

}  // namespace

QStringList kxkbrcOptions(const QString& text) {
    bool inLayout = false;
    bool reset = false;
    QString options;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (isGroupHeader(line)) {
            inLayout = line.trimmed() == layoutGroup;
        } else if (const auto key = entryKey(line); inLayout && key == optionsKey) {
            options = entryValue(line);
        } else if (inLayout && key == resetKey) {
            reset = isTrue(entryValue(line));
        }
    }
    return reset ? splitXkbOptions(options) : QStringList();
}

QString kxkbrcWithOptions(const QString& text, const QStringList& options) {
    QStringList lines = text.split(QLatin1Char('\n'));
    const QString optionsLine = optionsKey + QLatin1Char('=') + options.join(QLatin1Char(','));
    const QString resetLine = resetKey + QStringLiteral("=true");
    qsizetype header = -1;
    for (qsizetype index = 0; index < lines.size(); ++index) {
        if (lines[index].trimmed() == layoutGroup) {
            header = index;
            break;
        }
    }
    if (header < 0) {
        if (!lines.last().isEmpty()) {
            lines << QString();
        }
        lines.insert(lines.size() - 1, layoutGroup);
        header = lines.size() - 2;
    }
    bool optionsWritten = false;
    bool resetWritten = false;
    for (qsizetype index = header + 1; index < lines.size() && !isGroupHeader(lines[index]);
         ++index) {
        const std::optional<QString> key = entryKey(lines[index]);
        if (key == optionsKey) {
            lines[index] = optionsLine;
            optionsWritten = true;
        } else if (key == resetKey) {
            lines[index] = resetLine;
            resetWritten = true;
        }
    }
    if (!resetWritten) {
        lines.insert(header + 1, resetLine);
    }
    if (!optionsWritten) {
        lines.insert(header + 1, optionsLine);
    }
    return lines.join(QLatin1Char('\n'));
}

KdeMappingTool::KdeMappingTool(QString configPath) : configPath(std::move(configPath)) {}

QString KdeMappingTool::defaultConfigPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kxkbrc");
}

std::optional<QString> KdeMappingTool::readConfig() const {
    QFile file(configPath);
    if (!file.exists()) {
        return QString();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

bool KdeMappingTool::applyMapping(bool enabled) {
    // An unreadable file would be replaced by ours, the user's settings lost with it.
    const std::optional<QString> text = readConfig();
    if (!text) {
        return false;
    }
    QDir().mkpath(QFileInfo(configPath).absolutePath());
    // Options the file keeps while ResetOldOptions is off are not in effect; the options written
    // are the ones the user has now, so turning ours off leaves the keyboard as it was.
    QSaveFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(
            kxkbrcWithOptions(*text, withOurOption(kxkbrcOptions(*text), enabled)).toUtf8()) < 0 ||
        !file.commit()) {
        return false;
    }
    // KWin's keyboard settings read the file again on this signal.
    return processOutput(
               QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--type=signal"),
                QStringLiteral("/Layouts"), QStringLiteral("org.kde.keyboard.reloadConfig")})
        .has_value();
}

bool KdeMappingTool::isMappingApplied() {
    const std::optional<QString> text = readConfig();
    return text && kxkbrcOptions(*text).contains(QString::fromLatin1(superAsControlOption));
}

}  // namespace platform
