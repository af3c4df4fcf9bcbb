#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QVBoxLayout>
#include <memory>

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"
#include "base/NotificationCenter.h"
#include "correction/LexiconLibrary.h"
#include "dictation/AppState.h"
#include "dictation/HotkeyAvailability.h"
#include "dictation/HotkeyManager.h"
#include "dictation/Permissions.h"
#include "onboarding/OnboardingView.h"
#include "support/DictationRig.h"
#include "support/FakePermissions.h"
#include "support/ScriptedHotKeyBackend.h"
#include "support/ScriptedModifierKeyBackend.h"
#include "support/TestEnvironment.h"

namespace vandrel::test {

// The guide on the real dictation state (scripted backends, virtual time), in a window of its own.
class OnboardingFixture : public ::testing::Test {
protected:
    OnboardingFixture() {
        permissions.microphone = false;
        permissions.accessibilityState = Permissions::Accessibility::missing;
        KeyboardShortcuts::resetForTesting();
        KeyboardShortcuts::CarbonKeyboardShortcuts::setBackend(hotkeyBackend);
        LocalizationManager::resetForTesting();
        LocalizationManager::shared().setLanguage("en");
        appState = std::make_shared<AppState>(rig.services());
        // Let the start-up model load fail (nothing to download) before the guide is built.
        world.loop().runUntil([&] { return !appState->isModelLoading.get(); }, std::chrono::seconds(20));
        world.loop().runPending();
        hotkeys = std::make_unique<HotkeyManager>(keyboard.backend());
        hotkeys->setAppState(appState);
        hotkeys->configure(hotkeys->currentOption.get());
    }
    ~OnboardingFixture() override {
        window.reset();
        hotkeys.reset();
        appState.reset();
        world.loop().advanceSeconds(600);
        KeyboardShortcuts::resetForTesting();
    }

    OnboardingView& open() {
        window = std::make_unique<QWidget>();
        view = new OnboardingView(
            OnboardingContext{*appState, *hotkeys, LocalizationManager::shared(), world.defaults(), lexicons,
                              world.loop(), permissions, NotificationCenter::shared(), hotkeyAvailability},
            window.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        window->resize(580, 600);
        window->show();
        world.loop().runPending();
        return *view;
    }

    // As in an X11 session: the Fn key and shortcuts with it cannot fire. A test may set another before
    // open().
    HotkeyAvailability hotkeyAvailability =
        HotkeyAvailability()
            .withoutOption(HotkeyOption::fn, "The Fn key cannot be detected on Linux. Choose another key.")
            .withoutShortcutModifiers(0x20000,
                                      "Shortcuts with the Fn key cannot be detected on Linux. Record another one.");
    TestWorld world;
    DictationRig rig;
    ScriptedKeyboard keyboard;
    std::shared_ptr<ScriptedHotKeyBackend> hotkeyBackend = std::make_shared<ScriptedHotKeyBackend>();
    std::shared_ptr<AppState> appState;
    std::unique_ptr<HotkeyManager> hotkeys;
    LexiconLibrary lexicons;
    FakePermissions permissions;
    std::unique_ptr<QWidget> window;
    OnboardingView* view = nullptr;
};

}  // namespace vandrel::test
