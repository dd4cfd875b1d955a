#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"

#include <functional>
#include <memory>
#include <optional>

// The commands the two global hot keys issue.
enum class QuorvastelinCommand { screenshot, video };

// The seams to the desktop.
struct KeyRemapperPlatform {
    std::shared_ptr<platform::KeyMappingTool> mappingTool;
    std::shared_ptr<platform::HotKeys> hotKeys;
};

// Windows Mode: both Super keys act as Control system-wide, and while that holds, Control+4
// and Control+5 are global hot keys. Create it with std::make_shared: the hot keys reach it
// through a weak reference.
class KeyRemapper : public std::enable_shared_from_this<KeyRemapper> {
  public:
    explicit KeyRemapper(KeyRemapperPlatform platform);
    ~KeyRemapper();
    KeyRemapper(const KeyRemapper&) = delete;
    KeyRemapper& operator=(const KeyRemapper&) = delete;

    // Applies the mapping when it is wanted and not yet active.
    void start();
    void enable();
    void requestPermission();
    void stop();
    bool isRunning() const { return running; }
    // The desktop may reset the keyboard behind our back; then the mapping counts as lost, so
    // that the next start() applies it again and the status line tells the truth meanwhile.
    void checkMappingStillApplied();
    // Why this desktop's keyboard cannot be mapped or its keys bound at all; nothing when they
    // can.
    std::optional<QString> unavailableReason() const;

    std::function<void(QuorvastelinCommand)> commandHandler;
    std::function<void(bool running, bool trusted)> stateHandler;
    // Told why the hot keys do not work while the mapping does.
    std::function<void(const QString& reason)> hotKeysFailureHandler;

  private:
    void applyAndReport();
    bool applyMapping(bool enabled);
    void installHotKeys();
    void uninstallHotKeys();
    void handleHotKey(int id);
    void report(bool isActive);

    KeyRemapperPlatform platform;
    bool hotKeysInstalled = false;
    bool requested = true;
    bool running = false;
};
