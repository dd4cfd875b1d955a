#include "platform/wayland/GnomeKeyboard.h"

#include "platform/ProcessRunner.h"
#include "platform/SingleInstance.h"

#include <QFileInfo>

namespace platform {

namespace {

const QString gsettings = QStringLiteral("gsettings");
const QString inputSources = QStringLiteral("org.gnome.desktop.input-sources");
const QString xkbOptions = QStringLiteral("xkb-options");
const QString mediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString customKeybindings = QStringLiteral("custom-keybindings");
const QString customKeybinding =
    QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString ourKeybindingPrefix = QStringLiteral(
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/quorvastelin-");

std::optional<QStringList> readStrings(const QString& schema, const QString& key) {
    const std::optional<QByteArray> output =
        processOutput(gsettings, {QStringLiteral("get"), schema, key});
    return output ? parseStringArray(QString::fromUtf8(*output)) : std::nullopt;
}

bool writeSetting(const QString& schema, const QString& key, const QString& value) {
    return processOutput(gsettings, {QStringLiteral("set"), schema, key, value}).has_value();
}

// A string in GVariant's text form.
QString quoted(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString keybindingSchema(const QString& path) {
    return customKeybinding + QLatin1Char(':') + path;
}

// Takes out those of ours that match, leaving the user's as they were.
void removeKeybindings(const std::function<bool(const QString& path)>& matches) {
    const std::optional<QStringList> listed = readStrings(mediaKeys, customKeybindings);
    if (!listed) {
        return;
    }
    QStringList kept;
    QStringList removed;
    for (const QString& path : *listed) {
        (path.startsWith(ourKeybindingPrefix) && matches(path) ? removed : kept) << path;
    }
    if (removed.isEmpty()) {
        return;
    }
    writeSetting(mediaKeys, customKeybindings, stringArrayText(kept));
    for (const QString& path : removed) {
        processOutput(gsettings, {QStringLiteral("reset-recursively"), keybindingSchema(path)});
    }
}

// Mutter takes a key code written as hex in an accelerator, the same physical key on every
// layout; with the symbol 4, layouts whose 4 key types another symbol (vn) never fire.
QString accelerator(const HotKey& key) {
    return QStringLiteral("<Control>0x%1").arg(key.keyCode, 2, 16, QLatin1Char('0'));
}

}  // namespace

std::optional<QStringList> parseStringArray(const QString& text) {
    QString array = text.trimmed();
    if (array.startsWith(QStringLiteral("@as "))) {
        array = array.mid(4).trimmed();
    }
    if (!array.startsWith(QLatin1Char('[')) || !array.endsWith(QLatin1Char(']'))) {
        return std::nullopt;
    }
    QStringList strings;
    qsizetype at = 1;
    const qsizetype end = array.size() - 1;
    while (at < end) {
        const QChar quote = array[at];
        if (quote.isSpace() || quote == QLatin1Char(',')) {
            ++at;
            continue;
        }
        if (quote != QLatin1Char('\'') && quote != QLatin1Char('"')) {
            return std::nullopt;
        }
        QString string;
        // gsettings escapes only the quote and the backslash in what we read here.
        for (++at; at < end && array[at] != quote; ++at) {
            if (array[at] == QLatin1Char('\\') && at + 1 < end) {
                ++at;
            }
            string += array[at];
        }
        if (at >= end) {
            return std::nullopt;
        }
        strings << string;
        ++at;
    }
    return strings;
}

QString stringArrayText(const QStringList& strings) {
    QStringList items;
    for (const QString& string : strings) {
        items << quoted(string);
    }
    return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
}

bool GnomeMappingTool::applyMapping(bool enabled) {
    // Without the user's options, setting ours would drop theirs.
    const std::optional<QStringList> options = readStrings(inputSources, xkbOptions);
    return options && writeSetting(inputSources, xkbOptions,
                                   stringArrayText(withOurOption(*options, enabled)));
}

bool GnomeMappingTool::isMappingApplied() {
    const std::optional<QStringList> options = readStrings(inputSources, xkbOptions);
    return options && options->contains(QString::fromLatin1(superAsControlOption));
}

void GnomeCustomKeybindings::install(const std::vector<HotKey>& keys, std::function<void(int)>) {
    const QString failure =
        QStringLiteral("Không ghi được phím tắt riêng của GNOME (%1)").arg(mediaKeys);
    const std::optional<QStringList> listed = readStrings(mediaKeys, customKeybindings);
    if (!listed) {
        reportFailure(failure);
        return;
    }
    QStringList paths;
    for (const QString& path : *listed) {
        if (!path.startsWith(ourKeybindingPrefix)) {
            paths << path;
        }
    }
    bool allWritten = true;
    // Each keybinding is complete before the list names it.
    for (const HotKey& key : keys) {
        const QString path = ourKeybindingPrefix + hotKeyName(key) + QLatin1Char('/');
        const QString schema = keybindingSchema(path);
        if (writeSetting(schema, QStringLiteral("name"), quoted(key.description)) &&
            writeSetting(schema, QStringLiteral("command"),
                         quoted(commandEntryLine(key.commandArgument))) &&
            writeSetting(schema, QStringLiteral("binding"), quoted(accelerator(key)))) {
            paths << path;
        } else {
            allWritten = false;
        }
    }
    if (!writeSetting(mediaKeys, customKeybindings, stringArrayText(paths)) || !allWritten) {
        reportFailure(failure);
    }
}

GnomeCustomKeybindings::GnomeCustomKeybindings() {
    removeKeybindings([](const QString& path) {
        const std::optional<QByteArray> command = processOutput(
            gsettings, {QStringLiteral("get"), keybindingSchema(path), QStringLiteral("command")});
        const std::optional<QStringList> words =
            command ? parseStringArray(QLatin1Char('[') + QString::fromUtf8(*command) +
                                       QLatin1Char(']'))
                    : std::nullopt;
        const std::optional<QString> program =
            words && words->size() == 1 ? commandEntryProgram(words->front()) : std::nullopt;
        return program && !QFileInfo::exists(*program);
    });
}

void GnomeCustomKeybindings::uninstall() {
    removeKeybindings([](const QString&) { return true; });
}

}  // namespace platform
