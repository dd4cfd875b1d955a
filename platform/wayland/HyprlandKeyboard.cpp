#include "platform/wayland/HyprlandKeyboard.h"

#include "platform/ProcessRunner.h"
#include "platform/SingleInstance.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace platform {

namespace {

const QString hyprctl = QStringLiteral("hyprctl");
const QString keyboardOptions = QStringLiteral("input:kb_options");

// hyprctl exits with 0 whatever Hyprland said; "ok" is its answer to a change it took.
bool setKeyword(const QString& name, const QString& value) {
    const std::optional<QByteArray> answer =
        processOutput(hyprctl, {QStringLiteral("keyword"), name, value});
    return answer && answer->trimmed() == "ok";
}

std::optional<QStringList> currentOptions() {
    const std::optional<QByteArray> answer = processOutput(
        hyprctl, {QStringLiteral("getoption"), keyboardOptions, QStringLiteral("-j")});
    return answer ? hyprlandKeyboardOptions(*answer) : std::nullopt;
}

}  // namespace

std::optional<QStringList> hyprlandKeyboardOptions(const QByteArray& json) {
    const QJsonValue value = QJsonDocument::fromJson(json).object().value(QStringLiteral("str"));
    if (!value.isString()) {
        return std::nullopt;
    }
    // Hyprland's word for a setting left empty.
    if (value.toString() == QStringLiteral("[[EMPTY]]")) {
        return QStringList();
    }
    return splitXkbOptions(value.toString());
}

bool HyprlandMappingTool::applyMapping(bool enabled) {
    // Without the user's options, setting ours would drop theirs.
    const std::optional<QStringList> options = currentOptions();
    if (!options) {
        return false;
    }
    return setKeyword(keyboardOptions, withOurOption(*options, enabled).join(QLatin1Char(',')));
}

bool HyprlandMappingTool::isMappingApplied() {
    const std::optional<QStringList> options = currentOptions();
    return options && options->contains(QString::fromLatin1(superAsControlOption));
}

std::pair<QString, QString> hyprlandBindings(const HotKey& key, const QString& command) {
    const QString combination = QStringLiteral("CTRL,code:") + QString::number(key.keyCode);
    return {combination + QStringLiteral(",exec,") + command, combination};
}

std::shared_ptr<HotKeys> hyprlandHotKeys() {
    return std::make_shared<CommandBindings>(
        [](const HotKey& key) {
            return setKeyword(QStringLiteral("bind"),
                              hyprlandBindings(key, commandEntryLine(key.commandArgument)).first);
        },
        [](const HotKey& key) {
            return setKeyword(QStringLiteral("unbind"),
                              hyprlandBindings(key, commandEntryLine(key.commandArgument)).second);
        });
}

}  // namespace platform
