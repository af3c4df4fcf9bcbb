#include "dictation/HotkeyOption.h"

#include "base/LocalizationManager.h"

namespace vandrel {

namespace {

struct OptionInfo {
    HotkeyOption option;
    std::string_view raw;
    const char* label;
    HotkeyTriggerFamily family;
    const char* warning;  // null: none
};

constexpr std::array<OptionInfo, 16> kOptions{{
    {HotkeyOption::none, "none", "None", HotkeyTriggerFamily::none, nullptr},
    {HotkeyOption::doubleTapRightOption, "doubleTapRightOption", "Double-tap Right \u2325 Option",
     HotkeyTriggerFamily::doubleTap, nullptr},
    {HotkeyOption::doubleTapLeftOption, "doubleTapLeftOption", "Double-tap Left \u2325 Option",
     HotkeyTriggerFamily::doubleTap, nullptr},
    {HotkeyOption::doubleTapRightShift, "doubleTapRightShift", "Double-tap Right \u21E7 Shift",
     HotkeyTriggerFamily::doubleTap, nullptr},
    {HotkeyOption::doubleTapRightControl, "doubleTapRightControl", "Double-tap Right \u2303 Control",
     HotkeyTriggerFamily::doubleTap, nullptr},
    {HotkeyOption::rightOption, "rightOption", "Right \u2325 Option", HotkeyTriggerFamily::modifierHold, nullptr},
    {HotkeyOption::leftOption, "leftOption", "Left \u2325 Option", HotkeyTriggerFamily::modifierHold, nullptr},
    {HotkeyOption::rightCommand, "rightCommand", "Right \u2318 Command", HotkeyTriggerFamily::modifierHold,
     "May conflict with Type to Siri if enabled. Check System Settings \u2192 Apple Intelligence & Siri."},
    {HotkeyOption::rightShift, "rightShift", "Right \u21E7 Shift", HotkeyTriggerFamily::modifierHold, nullptr},
    {HotkeyOption::rightControl, "rightControl", "Right \u2303 Control", HotkeyTriggerFamily::modifierHold, nullptr},
    {HotkeyOption::fn, "fn", "Fn \U0001F310 Globe", HotkeyTriggerFamily::modifierHold,
     "May conflict with macOS Dictation or Emoji picker. Disable in System Settings \u2192 Keyboard \u2192 "
     "\"Press Globe key to\"."},
    {HotkeyOption::ctrlShiftSpace, "ctrlShiftSpace", "\u2303 Control + \u21E7 Shift + Space",
     HotkeyTriggerFamily::keyCombination, nullptr},
    {HotkeyOption::optionSpace, "optionSpace", "\u2325 Option + Space", HotkeyTriggerFamily::keyCombination,
     "Types a non-breaking space in text fields. May interfere with normal typing."},
    {HotkeyOption::ctrlSpace, "ctrlSpace", "\u2303 Control + Space", HotkeyTriggerFamily::keyCombination,
     "Used for input source switching if you have multiple keyboard layouts enabled."},
    {HotkeyOption::cmdShiftSpace, "cmdShiftSpace", "\u2318 Command + \u21E7 Shift + Space",
     HotkeyTriggerFamily::keyCombination, "Reserved by Apple. May not work on all macOS versions."},
    {HotkeyOption::custom, "custom", "Custom\u2026", HotkeyTriggerFamily::none, nullptr},
}};

const OptionInfo& info(HotkeyOption option) { return kOptions[static_cast<std::size_t>(option)]; }

constexpr const char* kDoubleTapSentence = "Tap the key twice quickly to start recording. Tap twice again to stop.";
constexpr const char* kHoldSentence = "Hold the key to record. Tap briefly for hands-free mode.";
constexpr const char* kCombinationSentence = "Hold the shortcut to record, release to transcribe and paste.";

}  // namespace

const std::array<HotkeyOption, 16>& allHotkeyOptions() {
    static const std::array<HotkeyOption, 16> all = [] {
        std::array<HotkeyOption, 16> a{};
        for (std::size_t i = 0; i < kOptions.size(); ++i) a[i] = kOptions[i].option;
        return a;
    }();
    return all;
}

std::string_view rawValue(HotkeyOption option) { return info(option).raw; }

std::optional<HotkeyOption> hotkeyOptionFromRawValue(std::string_view raw) {
    for (const auto& o : kOptions)
        if (o.raw == raw) return o.option;
    return std::nullopt;
}

HotkeyTriggerFamily triggerFamily(HotkeyOption option) { return info(option).family; }

bool isDoubleTapOption(HotkeyOption option) { return triggerFamily(option) == HotkeyTriggerFamily::doubleTap; }
bool isModifierHoldOption(HotkeyOption option) { return triggerFamily(option) == HotkeyTriggerFamily::modifierHold; }
bool isModifierKeyOption(HotkeyOption option) { return isDoubleTapOption(option) || isModifierHoldOption(option); }

std::string_view labelKey(HotkeyOption option) { return info(option).label; }

std::optional<std::string_view> warningKey(HotkeyOption option) {
    if (!info(option).warning) return std::nullopt;
    return std::string_view(info(option).warning);
}

std::string localizedLabel(HotkeyOption option, const Bundle& bundle) {
    return bundle.localizedString(info(option).label);
}

std::optional<std::string> localizedWarning(HotkeyOption option, const Bundle& bundle) {
    if (!info(option).warning) return std::nullopt;
    return bundle.localizedString(info(option).warning);
}

std::optional<std::string> hotkeyTriggerDescription(HotkeyTriggerFamily family, const Bundle& bundle) {
    switch (family) {
        case HotkeyTriggerFamily::doubleTap:
            return bundle.localizedString(kDoubleTapSentence);
        case HotkeyTriggerFamily::modifierHold:
            return bundle.localizedString(kHoldSentence);
        case HotkeyTriggerFamily::keyCombination:
            return bundle.localizedString(kCombinationSentence);
        case HotkeyTriggerFamily::none:
            break;
    }
    return std::nullopt;
}

}  // namespace vandrel
