#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// A string array in GVariant's text form as gsettings prints it ("['a', \"it's\"]", or
// "@as []" when empty); nothing when the text is not one.
std::optional<QStringList> parseStringArray(const QString& text);
// The text form gsettings takes for a string array.
QString stringArrayText(const QStringList& strings);

// Our option in GNOME's input sources, which the shell applies to every keyboard.
class GnomeMappingTool : public KeyMappingTool {
  public:
    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;
};

// Custom keybindings of GNOME's media keys that run our command entry, for a GNOME without the
// GlobalShortcuts portal. Ours live under paths of their own beside the user's, so taking them
// out touches nothing else, even ones a crash left behind.
class GnomeCustomKeybindings : public HotKeys {
  public:
    // Ours that run a program no longer there, left by a removed package, go at once.
    GnomeCustomKeybindings();
    void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) override;
    void uninstall() override;
};

}  // namespace platform
