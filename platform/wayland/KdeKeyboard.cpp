#include "platform/wayland/KdeKeyboard.h"

#include "platform/Folders.h"
#include "platform/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>
#include <vector>

namespace platform {

namespace {

const QByteArray layoutGroup = "[Layout]";
const QByteArray optionsKey = "Options";
const QByteArray resetKey = "ResetOldOptions";
const QByteArray ourOption = superAsControlOption;
const QByteArray byteOrderMark = "\xEF\xBB\xBF";

// One line of the file as bytes, with what surrounds its text kept aside: a byte-order mark
// before it, a carriage return after it.
struct Line {
    QByteArray lead;
    QByteArray text;
    QByteArray end;

    QByteArray bytes() const { return lead + text + end; }
    bool isGroupHeader() const { return text.trimmed().startsWith('['); }
    std::optional<QByteArray> key() const {
        const qsizetype equals = text.indexOf('=');
        if (equals < 0 || isGroupHeader()) {
            return std::nullopt;
        }
        return text.left(equals).trimmed();
    }
    QByteArray value() const { return text.mid(text.indexOf('=') + 1).trimmed(); }
    // The value replaced, the spaces around it kept.
    void setValue(const QByteArray& value) {
        const qsizetype equals = text.indexOf('=');
        qsizetype from = equals + 1;
        while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) {
            ++from;
        }
        qsizetype to = text.size();
        while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) {
            --to;
        }
        text = text.left(from) + value + text.mid(to);
    }
};

std::vector<Line> linesOf(const QByteArray& text) {
    std::vector<Line> lines;
    for (const QByteArray& raw : text.split('\n')) {
        Line line{{}, raw, {}};
        if (lines.empty() && line.text.startsWith(byteOrderMark)) {
            line.lead = byteOrderMark;
            line.text.remove(0, byteOrderMark.size());
        }
        if (line.text.endsWith('\r')) {
            line.end = "\r";
            line.text.chop(1);
        }
        lines.push_back(line);
    }
    return lines;
}

QByteArray joined(const std::vector<Line>& lines) {
    QByteArrayList parts;
    for (const Line& line : lines) {
        parts << line.bytes();
    }
    return parts.join('\n');
}

// Where the [Layout] group's entries are: its header, and its Options and ResetOldOptions
// lines where it has them.
struct LayoutGroup {
    std::optional<size_t> header;
    std::optional<size_t> options;
    std::optional<size_t> reset;
};

LayoutGroup findLayoutGroup(const std::vector<Line>& lines) {
    LayoutGroup group;
    for (size_t index = 0; index < lines.size(); ++index) {
        if (lines[index].isGroupHeader()) {
            if (group.header) {
                break;
            }
            if (lines[index].text.trimmed() == layoutGroup) {
                group.header = index;
            }
        } else if (group.header && lines[index].key() == optionsKey) {
            group.options = index;
        } else if (group.header && lines[index].key() == resetKey) {
            group.reset = index;
        }
    }
    return group;
}

bool isTrue(const QByteArray& value) {
    return QByteArrayList{"true", "on", "yes", "1"}.contains(value.toLower());
}

}  // namespace

QStringList kxkbrcOptions(const QByteArray& text) {
    const std::vector<Line> lines = linesOf(text);
    const LayoutGroup group = findLayoutGroup(lines);
    if (!group.reset || !isTrue(lines[*group.reset].value()) || !group.options) {
        return {};
    }
    return splitXkbOptions(QString::fromUtf8(lines[*group.options].value()));
}

QByteArray kxkbrcWithOurOption(const QByteArray& text) {
    const QStringList options = kxkbrcOptions(text);
    if (options.contains(QString::fromLatin1(ourOption))) {
        return text;
    }
    std::vector<Line> lines = linesOf(text);
    // New lines end the way the file's own lines do.
    const QByteArray end = lines.front().end;
    LayoutGroup group = findLayoutGroup(lines);
    if (!group.header) {
        if (!lines.back().text.isEmpty()) {
            lines.push_back(Line{{}, {}, {}});
        }
        lines.back() = Line{lines.back().lead, layoutGroup, end};
        lines.push_back(Line{{}, {}, {}});
        group.header = lines.size() - 2;
    }
    const auto insertAfterHeader = [&](const QByteArray& entry) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*group.header) + 1,
                     Line{{}, entry, end});
    };
    // Options kept while ResetOldOptions is off are not in effect: ours become the only ones.
    const QByteArray wanted =
        options.isEmpty() ? ourOption : lines[*group.options].value() + ',' + ourOption;
    if (group.reset) {
        lines[*group.reset].setValue("true");
    }
    if (group.options) {
        lines[*group.options].setValue(wanted);
    }
    if (!group.reset) {
        insertAfterHeader(resetKey + "=true");
    }
    if (!group.options) {
        insertAfterHeader(optionsKey + '=' + wanted);
    }
    return joined(lines);
}

QByteArray kxkbrcWithoutOurOption(const QByteArray& text, const std::optional<QByteArray>& before) {
    if (before && kxkbrcWithOurOption(*before) == text) {
        return *before;
    }
    std::vector<Line> lines = linesOf(text);
    const LayoutGroup group = findLayoutGroup(lines);
    if (!group.options) {
        return text;
    }
    QByteArrayList kept;
    for (const QByteArray& option : lines[*group.options].value().split(',')) {
        if (option.trimmed() != ourOption) {
            kept << option;
        }
    }
    lines[*group.options].setValue(kept.join(','));
    return joined(lines);
}

KdeMappingTool::KdeMappingTool(QString configPath, QString beforePath)
    : configPath(std::move(configPath)), beforePath(std::move(beforePath)) {}

QString KdeMappingTool::defaultConfigPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kxkbrc");
}

QString KdeMappingTool::defaultBeforePath() {
    return supportFolder() + QStringLiteral("/kxkbrc-before-windows-mode");
}

namespace {

// Nothing for a file that exists but cannot be read; empty for one that does not exist.
std::optional<QByteArray> readBytes(const QString& path) {
    QFile file(path);
    if (!file.exists()) {
        return QByteArray();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

bool KdeMappingTool::applyMapping(bool enabled) {
    // An unreadable file would be replaced by ours, the user's settings lost with it.
    const std::optional<QByteArray> text = readBytes(configPath);
    if (!text) {
        return false;
    }
    QByteArray changed;
    if (enabled) {
        changed = kxkbrcWithOurOption(*text);
        // The file as the user had it is kept first, so taking ours out can give it back.
        if (changed != *text && !writeBytes(beforePath, *text)) {
            return false;
        }
    } else {
        const std::optional<QByteArray> before =
            QFile::exists(beforePath) ? readBytes(beforePath) : std::nullopt;
        changed = kxkbrcWithoutOurOption(*text, before);
    }
    if (changed != *text && !writeBytes(configPath, changed)) {
        return false;
    }
    if (!enabled) {
        QFile::remove(beforePath);
    }
    // KWin's keyboard settings read the file again on this signal.
    return processOutput(
               QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--type=signal"),
                QStringLiteral("/Layouts"), QStringLiteral("org.kde.keyboard.reloadConfig")})
        .has_value();
}

bool KdeMappingTool::isMappingApplied() {
    const std::optional<QByteArray> text = readBytes(configPath);
    return text && kxkbrcOptions(*text).contains(QString::fromLatin1(superAsControlOption));
}

}  // namespace platform
