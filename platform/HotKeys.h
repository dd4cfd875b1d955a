#pragma once

#include <QByteArray>
#include <functional>
#include <vector>

namespace platform {

// Control plus one physical key, named by its XKB key name ("AE04" is the main row's 4 key
// whatever the layout prints on it).
struct HotKey {
    int id = 0;
    QByteArray keyName;
};

// System-wide hot keys: presses only, consumed, a held key fires once.
class HotKeys {
  public:
    virtual ~HotKeys() = default;
    // Calls onPress with a hot key's id by a queued call on the main thread, once per press.
    virtual void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) = 0;
    virtual void uninstall() = 0;
};

}  // namespace platform
