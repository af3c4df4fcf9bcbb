#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "KeyboardShortcuts/Shortcut.h"
#include "base/Signal.h"
#include "dictation/HotkeyOption.h"

namespace vandrel {

class Bundle;

// Which triggers the session's trigger sources can deliver, each missing one with the reason why. The
// application fills it in for the session it runs in; the hotkey pickers mark what is missing and the
// guide does not go on with a trigger that cannot fire. Everything is available until said otherwise.
class HotkeyAvailability {
public:
    HotkeyAvailability() = default;
    // A copy has the same reasons and note, and observers of its own.
    HotkeyAvailability(const HotkeyAvailability& other);
    HotkeyAvailability& operator=(const HotkeyAvailability& other);

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

    // The conflict warning a picker shows under the trigger `option` would set up: none where the trigger
    // cannot fire here, since its reason already tells the user to choose another.
    std::optional<std::string> warning(HotkeyOption option, const std::optional<KeyboardShortcuts::Shortcut>& custom,
                                       const Bundle& bundle) const;

    // Key combinations (the fixed ones and a recorded one) that fire, but not in every window:
    // `noteKey` is the string-table key that says where; none when they work everywhere. May change while
    // running, when the way that serves them changes.
    void setCombinationNote(std::optional<std::string> noteKey);
    // The note for the trigger `option` would set up; none for a trigger that is not a combination.
    std::optional<std::string> note(HotkeyOption option, const Bundle& bundle) const;
    // After the note changed. Watching changes nothing, so a page given a const availability may watch.
    mutable Signal<> changed;

private:
    std::map<HotkeyOption, std::string> m_optionReasons;
    std::int64_t m_shortcutModifiers = 0;
    std::string m_shortcutReason;
    std::optional<std::string> m_combinationNote;
};

}  // namespace vandrel
