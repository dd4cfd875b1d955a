#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"

#include <functional>
#include <vector>

// The key-mapping tool and hot keys as the X server would answer, without touching it.
struct FakeMappingTool : platform::KeyMappingTool {
    bool applyMapping(bool enabled) override {
        calls.push_back(enabled);
        serverCarriesOption = enabled && (succeeds || serverCarriesOption);
        return succeeds;
    }
    bool isMappingApplied() override { return serverCarriesOption; }
    bool succeeds = true;
    bool serverCarriesOption = false;
    std::vector<bool> calls;
};

struct FakeHotKeys : platform::HotKeys {
    void install(const std::vector<platform::HotKey>& wanted,
                 std::function<void(int)> handler) override {
        ++installs;
        keys = wanted;
        onPress = std::move(handler);
    }
    void uninstall() override {
        ++uninstalls;
        onPress = nullptr;
    }
    // As a desktop that refuses the keys only after they were asked for.
    void fail(const QString& reason) const { reportFailure(reason); }
    int installs = 0;
    int uninstalls = 0;
    std::vector<platform::HotKey> keys;
    std::function<void(int)> onPress;
};
