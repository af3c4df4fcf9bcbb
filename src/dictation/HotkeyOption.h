#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// The ways the user can trigger a dictation. Stored under "hotkeyOption" by raw value (the case name).
enum class HotkeyOption {
    none,
    doubleTapRightOption,
    doubleTapLeftOption,
    doubleTapRightShift,
    doubleTapRightControl,
    rightOption,
    leftOption,
    rightCommand,
    rightShift,
    rightControl,
    fn,
    ctrlShiftSpace,
    optionSpace,
    ctrlSpace,
    cmdShiftSpace,
    custom,
};

enum class HotkeyTriggerFamily { none, doubleTap, modifierHold, keyCombination };

// Every option in declaration order.
const std::array<HotkeyOption, 16>& allHotkeyOptions();

std::string_view rawValue(HotkeyOption option);
// The option whose raw value is exactly `raw`; none for any other text.
std::optional<HotkeyOption> hotkeyOptionFromRawValue(std::string_view raw);

HotkeyTriggerFamily triggerFamily(HotkeyOption option);
// Double-tap options (1 to 4) and modifier-hold options (5 to 10): the ones a modifier-key monitor watches.
bool isModifierKeyOption(HotkeyOption option);
bool isDoubleTapOption(HotkeyOption option);
bool isModifierHoldOption(HotkeyOption option);

// The option's label as written, not localised: the key of its localised text. It names the keys the
// way the other system does ("Right ⌥ Option"), so it is never shown as it stands on Linux.
std::string_view labelKey(HotkeyOption option);
// The key of the option's conflict warning; none for options without one.
std::optional<std::string_view> warningKey(HotkeyOption option);

class Bundle;

// Localised texts from `bundle` (the views pass the application language's bundle).
std::string localizedLabel(HotkeyOption option, const Bundle& bundle);
std::optional<std::string> localizedWarning(HotkeyOption option, const Bundle& bundle);
// How a trigger family works; none for HotkeyTriggerFamily::none.
std::optional<std::string> hotkeyTriggerDescription(HotkeyTriggerFamily family, const Bundle& bundle);

}  // namespace vandrel
