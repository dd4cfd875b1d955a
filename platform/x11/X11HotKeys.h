#pragma once

#include "platform/HotKeys.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace platform {

// Matches a key event's modifier state against a grab of Control alone: Shift, Alt or any
// other modifier held means no match, while CapsLock and NumLock are ignored.
bool isExactlyControl(uint16_t state, uint16_t numLockMask);

// Tells a real press from auto-repeat. A held key repeats either as presses without releases
// (detectable auto-repeat) or as release/press pairs sharing one timestamp. Key state is only
// known while our grab or a window of ours holds the keyboard; the grab ends when the key
// that started it is released.
class RepeatFilter {
  public:
    // True when this press is a new one rather than a repeat.
    bool press(uint8_t keycode, uint32_t time);
    void release(uint8_t keycode, uint32_t time);
    void clear();

  private:
    std::optional<uint8_t> grabbingKey;
    std::unordered_set<uint8_t> held;
    std::unordered_map<uint8_t, uint32_t> lastRelease;
};

// Passive grabs on the root window of Qt's X connection. Without an X connection (the
// offscreen platform) the hot keys are simply absent.
class X11HotKeys : public QObject, public HotKeys, private QAbstractNativeEventFilter {
  public:
    X11HotKeys();
    ~X11HotKeys() override;

    void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) override;
    void uninstall() override;

  private:
    struct Grab {
        int id;
        uint8_t keycode;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    bool handleKey(uint8_t type, const void* event);
    bool isMappingChange(uint8_t type, const void* event) const;
    void grabAll();
    void ungrabAll();
    void scheduleRegrab();

    std::vector<HotKey> keys;
    std::function<void(int id)> onPress;
    std::vector<Grab> grabs;
    RepeatFilter repeats;
    uint16_t numLockMask = 0;
    uint8_t xkbFirstEvent = 0;
    bool installed = false;
    bool regrabPending = false;
};

}  // namespace platform
