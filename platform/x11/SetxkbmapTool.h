#pragma once

#include "platform/KeyMappingTool.h"
#include "platform/ProcessRunner.h"

#include <xcb/xcb.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// The keyboard description the X server was last given: what _XKB_RULES_NAMES holds.
struct KeyboardNames {
    QString rules;
    QString model;
    QString layout;
    QString variant;
    QStringList options;
};

// Splits the property's five NUL-terminated strings.
KeyboardNames parseKeyboardNames(const QByteArray& property);

// The setxkbmap arguments that keep everything the user chose and only add or remove our
// option. Options are always handed over as a whole list: a bare "-option X" puts X first and
// setxkbmap's duplicate removal cannot be trusted.
QStringList keyMappingArguments(const KeyboardNames& current, bool enabled);

// Reads _XKB_RULES_NAMES from the first screen's root window; nothing when the property holds
// something other than text.
std::optional<KeyboardNames> readKeyboardNames(xcb_connection_t* connection);
// The same over Qt's X connection; nothing without X.
std::optional<KeyboardNames> readServerKeyboardNames();

class SetxkbmapTool : public KeyMappingTool {
  public:
    using NamesReader = std::function<std::optional<KeyboardNames>()>;

    explicit SetxkbmapTool(std::shared_ptr<ProcessRunner> runner =
                               std::make_shared<SystemProcessRunner>(std::chrono::seconds(3)),
                           QString program = QStringLiteral("/usr/bin/setxkbmap"),
                           NamesReader readNames = readServerKeyboardNames);

    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;

  private:
    std::shared_ptr<ProcessRunner> runner;
    QString program;
    NamesReader readNames;
};

}  // namespace platform
