#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/NotificationCenter.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// A US-like layout for the character keys the tests use.
class TableLayout : public KeyboardShortcuts::KeyboardLayout {
public:
    std::map<std::int64_t, std::string> texts{{0, "a"}, {1, "s"}, {2, "d"}, {11, "b"}, {12, "q"}, {24, "="}, {29, "0"}};
    std::optional<std::string> textForKey(std::int64_t code) const override {
        auto it = texts.find(code);
        if (it == texts.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::int64_t> carbonKeyCodeForNativeKey(std::uint32_t) const override { return std::nullopt; }
};

class ShortcutsTest : public ::testing::Test {
protected:
    ShortcutsTest() {
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(backend);
        KeyboardShortcuts::setCurrentKeyboardLayout(layout);
        changes = NotificationCenter::shared().addObserver(
            KeyboardShortcuts::kShortcutByNameDidChange,
            [this](const Notification& n) { changedNames.push_back(n.userInfo.at("name")); });
    }
    ~ShortcutsTest() override {
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(nullptr);
        KeyboardShortcuts::setCurrentKeyboardLayout(nullptr);
    }

    static constexpr std::int64_t kCtrlShift = 0x1000 | 0x200;
    const KeyboardShortcuts::Shortcut ctrlShiftSpace{49, kCtrlShift};

    TestWorld world;
    std::shared_ptr<ScriptedHotKeyBackend> backend = std::make_shared<ScriptedHotKeyBackend>();
    std::shared_ptr<TableLayout> layout = std::make_shared<TableLayout>();
    std::vector<std::string> changedNames;
    Connection changes;
};

}  // namespace vandrel::test
