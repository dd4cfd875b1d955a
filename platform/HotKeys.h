#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace platform {

// Control plus one physical key, the same key whatever the layout: desktops that grab keys for
// us look up its XKB key name ("AE04", the main row's 4 key), those that bind it themselves take
// its key code (evdev's plus 8, as X and xkbcommon count). A desktop that takes only a symbol
// gets keySymbol and misses the key on layouts without it. Some run our command entry with the
// argument; desktops that list the keys for the user show the description.
struct HotKey {
    int id = 0;
    QByteArray keyName;
    int keyCode = 0;
    QByteArray keySymbol;
    QString commandArgument;
    QString description;
};

// The key's name in a desktop's own lists: its command without the dashes ("screenshot").
inline QString hotKeyName(const HotKey& key) {
    return QString(key.commandArgument).remove(QLatin1Char('-'));
}

// System-wide hot keys: presses only, consumed, a held key fires once.
class HotKeys {
  public:
    virtual ~HotKeys() = default;
    // Calls onPress with a hot key's id by a queued call on the main thread, once per press.
    // Where the desktop runs a command for the key instead, the press arrives through the
    // command entry.
    virtual void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) = 0;
    virtual void uninstall() = 0;
    // Why this desktop's keys cannot be bound at all; nothing when they can.
    virtual std::optional<QString> unavailableReason() const { return std::nullopt; }

    // Told why installed keys do not work after all, where the desktop says so only later.
    std::function<void(const QString& reason)> onFailure;

  protected:
    void reportFailure(const QString& reason) const {
        if (onFailure) {
            onFailure(reason);
        }
    }
};

// Hot keys a compositor binds to our command entry for us: presses arrive through the entry.
class CommandBindings : public HotKeys {
  public:
    using Change = std::function<bool(const HotKey& key)>;
    CommandBindings(Change bind, Change unbind)
        : bind(std::move(bind)), unbind(std::move(unbind)) {}

    void install(const std::vector<HotKey>& keys, std::function<void(int id)>) override {
        for (const HotKey& key : keys) {
            if (bind(key)) {
                bound.push_back(key);
            }
        }
    }
    void uninstall() override {
        for (const HotKey& key : bound) {
            unbind(key);
        }
        bound.clear();
    }

  private:
    Change bind;
    Change unbind;
    std::vector<HotKey> bound;
};

}  // namespace platform
