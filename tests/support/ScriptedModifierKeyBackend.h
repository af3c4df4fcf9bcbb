#pragma once

#include "dictation/ModifierKeyBackend.h"

namespace vandrel::test {

// A keyboard played by the test. Events are delivered at once while started and dropped otherwise,
// as a real backend drops what happens while it is not watching.
class ScriptedModifierKeyBackend : public ModifierKeyBackend {
public:
    struct Shared {
        std::function<void(const KeyboardEvent&)> sink;
        int starts = 0;
        int stops = 0;
        bool reportsFn = true;
        bool refuseStart = false;
    };

    explicit ScriptedModifierKeyBackend(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    bool start(std::function<void(const KeyboardEvent&)> sink) override {
        ++m_shared->starts;
        if (m_shared->refuseStart) return false;
        m_shared->sink = std::move(sink);
        return true;
    }
    void stop() override {
        ++m_shared->stops;
        m_shared->sink = nullptr;
    }
    bool reportsFunctionKey() const override { return m_shared->reportsFn; }

private:
    std::shared_ptr<Shared> m_shared;
};

// The test's hands on that keyboard.
class ScriptedKeyboard {
public:
    ScriptedKeyboard() : shared(std::make_shared<ScriptedModifierKeyBackend::Shared>()) {}
    std::unique_ptr<ModifierKeyBackend> backend() { return std::make_unique<ScriptedModifierKeyBackend>(shared); }

    void press(ModifierKey key) { send({KeyboardEvent::Type::modifierChanged, key, true}); }
    void release(ModifierKey key) { send({KeyboardEvent::Type::modifierChanged, key, false}); }
    void typeCharacter() { send({KeyboardEvent::Type::otherKeyDown, ModifierKey::leftShift, true}); }
    bool watching() const { return static_cast<bool>(shared->sink); }

    std::shared_ptr<ScriptedModifierKeyBackend::Shared> shared;

private:
    void send(const KeyboardEvent& e) {
        if (shared->sink) shared->sink(e);
    }
};

}  // namespace vandrel::test
