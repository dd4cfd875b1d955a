#include "platform/wayland/HyprlandKeyboard.h"

#include "platform/ProcessRunner.h"
#include "platform/SingleInstance.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace platform {

namespace {

const QString hyprctl = QStringLiteral("hyprctl");
const QString keyboardOptions = QStringLiteral("input:kb_options");

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
    const std::optional<QByteArray> answer =
        processOutput(hyprctl, {QStringLiteral("keyword"), keyboardOptions,
                                withOurOption(*options, enabled).join(QLatin1Char(','))});
    // hyprctl exits with 0 whatever Hyprland said; "ok" is its answer to a setting it took.
    return answer && answer->trimmed() == "ok";
}

bool HyprlandMappingTool::isMappingApplied() {
    const std::optional<QStringList> options = currentOptions();
    return options && options->contains(QString::fromLatin1(superAsControlOption));
}

void HyprlandHotKeys::install(const std::vector<HotKey>& keys, std::function<void(int)>) {
    for (const HotKey& key : keys) {
        const QString binding =
            QStringLiteral("CTRL,%1,exec,%2")
                .arg(QString::fromLatin1(key.keySymbol), commandEntryLine(key.commandArgument));
        const std::optional<QByteArray> answer =
            processOutput(hyprctl, {QStringLiteral("keyword"), QStringLiteral("bind"), binding});
        if (answer && answer->trimmed() == "ok") {
            bound.push_back(key);
        }
    }
}

void HyprlandHotKeys::uninstall() {
    for (const HotKey& key : bound) {
        processOutput(hyprctl, {QStringLiteral("keyword"), QStringLiteral("unbind"),
                                QStringLiteral("CTRL,") + QString::fromLatin1(key.keySymbol)});
    }
    bound.clear();
}

}  // namespace platform
