#pragma once

// Process-wide state shared by the storage, dispatch and registration files of this module.
// Internal: not for other modules.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/Signal.h"

namespace vandrel::KeyboardShortcuts::detail {

// A table keyed by Name that keeps the order in which names were first added.
template <typename V>
struct NameTable {
    std::vector<std::pair<Name, V>> entries;

    V* find(const Name& name) {
        for (auto& [n, v] : entries)
            if (n == name) return &v;
        return nullptr;
    }
    V& operator[](const Name& name) {
        if (auto v = find(name)) return *v;
        entries.emplace_back(name, V{});
        return entries.back().second;
    }
    void erase(const Name& name) {
        std::erase_if(entries, [&](const auto& e) { return e.first == name; });
    }
};

struct State {
    std::unordered_set<Shortcut> registeredShortcuts;
    bool isInitialized = false;
    Connection menuBeginObserver;
    Connection menuEndObserver;
    bool isEnabled = true;
    bool isPaused = false;

    NameTable<std::vector<std::function<void()>>> keyDownHandlers;
    NameTable<std::vector<std::function<void()>>> keyUpHandlers;
    NameTable<std::map<std::uint64_t, std::function<void()>>> keyDownStreams;
    NameTable<std::map<std::uint64_t, std::function<void()>>> keyUpStreams;
    std::uint64_t nextStreamId = 0;

    // Registration layer.
    std::shared_ptr<HotKeyBackend> backend;
    std::map<std::int64_t, CarbonKeyboardShortcuts::HotKey> hotKeys;
    std::int64_t hotKeyIdCounter = 0;
    bool isMenuOpen = false;
    std::unordered_map<Shortcut, HotKeyStatus> lastStatus;
};

State& state();

}  // namespace vandrel::KeyboardShortcuts::detail
