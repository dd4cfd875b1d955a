#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"
#include "platform/wayland/SwayIpc.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

// The xkb_options each `input` identifier of a sway configuration sets, in the one-line and
// the block form, following its include lines; relative ones start from folder. sway reports
// only the text of its main file.
std::map<QString, QStringList> configuredKeyboardOptions(const QString& config,
                                                         const QString& folder);
// Where sway looks for the user's configuration.
QString swayConfigFolder();

// The sway commands that put our option on top of the user's own, or take it off again. The
// keyboard type gets it, and so does every keyboard the user configured by itself, since a
// device's own setting wins over its type's.
QStringList keyboardOptionCommands(const std::map<QString, QStringList>& configured,
                                   const QStringList& sessionDefaults, bool enabled);

// Our option through sway's IPC. sway does not report a keyboard's options, so the user's are
// read from the configuration it loaded; a reload drops ours, which the reload event tells.
class SwayMappingTool : public KeyMappingTool {
  public:
    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;

  private:
    std::unique_ptr<SwayIpc> reloadWatch;
};

// The sway commands that bind Control plus the key to run command, and that remove it again.
// By key code: a symbol binds nothing on a layout without it (the 4 key types ô in Vietnamese).
std::pair<QString, QString> swayBindingCommands(const HotKey& key, const QString& command);

// Bindings added to sway that run our command entry; sway drops them at a reload, like the
// option, and the upkeep then adds both again.
std::shared_ptr<HotKeys> swayHotKeys();

}  // namespace platform
