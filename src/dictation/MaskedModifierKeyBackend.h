#pragma once

#include <memory>
#include <string>

#include "dictation/KeyInjector.h"
#include "dictation/ModifierKeyBackend.h"

namespace vandrel {

// A listening backend whose watched presses are masked in the focused window: at each one a key that no
// application acts on goes there through the session's keystroke road, so that the window never sees a lone press and
// release of the trigger (a lone Alt would open Firefox's menu bar, and the paste would go into it). What the
// key types otherwise (AltGr, Alt+Tab, Alt+letter) stays as it was. Where the road cannot send, the log says so
// once, until it can again.
class MaskedModifierKeyBackend : public ModifierKeyBackend {
public:
    MaskedModifierKeyBackend(std::unique_ptr<ModifierKeyBackend> keys, std::shared_ptr<KeyInjector> keystrokes);

    bool start(std::function<void(const KeyboardEvent&)> sink) override { return m_keys->start(std::move(sink)); }
    void stop() override { m_keys->stop(); }
    bool reportsFunctionKey() const override { return m_keys->reportsFunctionKey(); }
    void maskPress(ModifierKey key) override;

private:
    std::unique_ptr<ModifierKeyBackend> m_keys;
    std::shared_ptr<KeyInjector> m_keystrokes;
    std::string m_saidWhyNot;
};

}  // namespace vandrel
