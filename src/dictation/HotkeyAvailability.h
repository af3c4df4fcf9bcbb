#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "KeyboardShortcuts/Shortcut.h"
#include "dictation/HotkeyOption.h"

namespace vandrel {

class Bundle;

// Which triggers the session's trigger sources can deliver, each missing one with the reason why. The
// application fills it in for the session it runs in; the hotkey pickers mark what is missing and the
// guide does not go on with a trigger that cannot fire. Everything is available until said otherwise.
class HotkeyAvailability {
public:
    // `option` never fires in this session; `reasonKey` is the string-table key that says why.
    HotkeyAvailability& withoutOption(HotkeyOption option, std::string reasonKey);
    // Recorded shortcuts that use any of the stored-form modifier bits in `carbonModifiers` never fire.
    HotkeyAvailability& withoutShortcutModifiers(std::int64_t carbonModifiers, std::string reasonKey);

    // Why the option itself cannot fire here; none when it can.
    std::optional<std::string> reason(HotkeyOption option, const Bundle& bundle) const;
    // Why the trigger `option` would set up cannot fire, the custom one judged by its recorded shortcut;
    // none when it can (or nothing is recorded yet).
    std::optional<std::string> reason(HotkeyOption option, const std::optional<KeyboardShortcuts::Shortcut>& custom,
                                      const Bundle& bundle) const;

private:
    std::map<HotkeyOption, std::string> m_optionReasons;
    std::int64_t m_shortcutModifiers = 0;
    std::string m_shortcutReason;
};

}  // namespace vandrel
