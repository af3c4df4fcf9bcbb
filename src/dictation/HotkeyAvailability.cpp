#include "dictation/HotkeyAvailability.h"

#include "base/LocalizationManager.h"

namespace vandrel {

HotkeyAvailability::HotkeyAvailability(const HotkeyAvailability& other)
    : m_optionReasons(other.m_optionReasons),
      m_shortcutModifiers(other.m_shortcutModifiers),
      m_shortcutReason(other.m_shortcutReason),
      m_combinationNote(other.m_combinationNote) {}

HotkeyAvailability& HotkeyAvailability::operator=(const HotkeyAvailability& other) {
    m_optionReasons = other.m_optionReasons;
    m_shortcutModifiers = other.m_shortcutModifiers;
    m_shortcutReason = other.m_shortcutReason;
    setCombinationNote(other.m_combinationNote);
    return *this;
}

HotkeyAvailability& HotkeyAvailability::withoutOption(HotkeyOption option, std::string reasonKey) {
    m_optionReasons[option] = std::move(reasonKey);
    return *this;
}

HotkeyAvailability& HotkeyAvailability::withoutShortcutModifiers(std::int64_t carbonModifiers, std::string reasonKey) {
    m_shortcutModifiers |= carbonModifiers;
    m_shortcutReason = std::move(reasonKey);
    return *this;
}

std::optional<std::string> HotkeyAvailability::reason(HotkeyOption option, const Bundle& bundle) const {
    const auto it = m_optionReasons.find(option);
    if (it == m_optionReasons.end()) return std::nullopt;
    return bundle.localizedString(it->second);
}

std::optional<std::string> HotkeyAvailability::reason(HotkeyOption option,
                                                      const std::optional<KeyboardShortcuts::Shortcut>& custom,
                                                      const Bundle& bundle) const {
    if (auto own = reason(option, bundle)) return own;
    if (option == HotkeyOption::custom && custom && (custom->carbonModifiers & m_shortcutModifiers))
        return bundle.localizedString(m_shortcutReason);
    return std::nullopt;
}

std::optional<std::string> HotkeyAvailability::warning(HotkeyOption option,
                                                       const std::optional<KeyboardShortcuts::Shortcut>& custom,
                                                       const Bundle& bundle) const {
    if (reason(option, custom, bundle)) return std::nullopt;
    return localizedWarning(option, bundle);
}

void HotkeyAvailability::setCombinationNote(std::optional<std::string> noteKey) {
    if (noteKey == m_combinationNote) return;
    m_combinationNote = std::move(noteKey);
    changed.emit();
}

std::optional<std::string> HotkeyAvailability::note(HotkeyOption option, const Bundle& bundle) const {
    if (!m_combinationNote) return std::nullopt;
    if (option != HotkeyOption::custom && triggerFamily(option) != HotkeyTriggerFamily::keyCombination)
        return std::nullopt;
    return bundle.localizedString(*m_combinationNote);
}

}  // namespace vandrel
