#include "main/KeyRemapper.h"

namespace {

constexpr int screenshotHotKeyId = 4;
constexpr int videoHotKeyId = 5;

}  // namespace

KeyRemapper::KeyRemapper(KeyRemapperPlatform platform) : platform(std::move(platform)) {}

KeyRemapper::~KeyRemapper() {
    if (running) {
        uninstallHotKeys();
        applyMapping(false);
    }
}

void KeyRemapper::start() {
    if (!requested || running) {
        return;
    }
    applyAndReport();
}

void KeyRemapper::enable() {
    requested = true;
    if (running) {
        return;
    }
    applyAndReport();
}

void KeyRemapper::requestPermission() {
    enable();
}

void KeyRemapper::stop() {
    requested = false;
    if (running) {
        uninstallHotKeys();
        applyMapping(false);
        running = false;
    }
    report(false);
}

void KeyRemapper::checkMappingStillApplied() {
    if (!running || platform.mappingTool->isMappingApplied()) {
        return;
    }
    uninstallHotKeys();
    running = false;
    report(false);
}

std::optional<QString> KeyRemapper::unavailableReason() const {
    if (const auto reason = platform.mappingTool->unavailableReason()) {
        return reason;
    }
    return platform.hotKeys->unavailableReason();
}

void KeyRemapper::applyAndReport() {
    const bool ok = applyMapping(true);
    if (ok) {
        installHotKeys();
        running = true;
    }
    report(ok);
}

bool KeyRemapper::applyMapping(bool enabled) {
    return platform.mappingTool->applyMapping(enabled);
}

void KeyRemapper::installHotKeys() {
    if (hotKeysInstalled) {
        return;
    }
    hotKeysInstalled = true;
    platform.hotKeys->onFailure = [weakSelf = weak_from_this()](const QString& reason) {
        if (const auto self = weakSelf.lock(); self && self->hotKeysFailureHandler) {
            self->hotKeysFailureHandler(reason);
        }
    };
    platform.hotKeys->install(
        {{screenshotHotKeyId, QByteArrayLiteral("AE04"), 13, QByteArrayLiteral("4"),
          QStringLiteral("--screenshot"), QStringLiteral("Chụp vùng")},
         {videoHotKeyId, QByteArrayLiteral("AE05"), 14, QByteArrayLiteral("5"),
          QStringLiteral("--record"), QStringLiteral("Quay / dừng quay")}},
        [weakSelf = weak_from_this()](int id) {
            if (const auto self = weakSelf.lock()) {
                self->handleHotKey(id);
            }
        });
}

void KeyRemapper::uninstallHotKeys() {
    if (hotKeysInstalled) {
        platform.hotKeys->uninstall();
    }
    hotKeysInstalled = false;
}

void KeyRemapper::handleHotKey(int id) {
    if (!commandHandler) {
        return;
    }
    if (id == screenshotHotKeyId) {
        commandHandler(QuorvastelinCommand::screenshot);
    } else if (id == videoHotKeyId) {
        commandHandler(QuorvastelinCommand::video);
    }
}

void KeyRemapper::report(bool isActive) {
    // The mapping tool needs no special privilege here, so the second value is always true.
    if (stateHandler) {
        stateHandler(isActive, true);
    }
}
