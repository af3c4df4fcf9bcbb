#include "dictation/MaskedModifierKeyBackend.h"

#include <utility>

#include "base/Log.h"

namespace vandrel {

MaskedModifierKeyBackend::MaskedModifierKeyBackend(std::unique_ptr<ModifierKeyBackend> keys,
                                                   std::shared_ptr<KeyInjector> keystrokes)
    : m_keys(std::move(keys)), m_keystrokes(std::move(keystrokes)) {}

void MaskedModifierKeyBackend::maskPress(ModifierKey key) {
    m_keys->maskPress(key);
    std::string whyNot;
    if (m_keystrokes && m_keystrokes->sendMaskKey(whyNot)) {
        m_saidWhyNot.clear();
        return;
    }
    if (!m_keystrokes) whyNot = "no keystrokes in this session";
    if (whyNot == m_saidWhyNot) return;
    m_saidWhyNot = whyNot;
    log("Platform", "trigger key: not masked in the focused window: " + whyNot);
}

}  // namespace vandrel
