#include "KeyboardShortcuts/Shortcut.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>
#include <string>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"

namespace vandrel::KeyboardShortcuts {
namespace {

struct SpecialKeyRow {
    std::int64_t keyCode;
    const char* menu;  // nullptr: no menu key equivalent
};

// Indexed by SpecialKey. Function keys carry the private-use function-key characters U+F704.. as their
// menu key equivalent; keypad keys have no key equivalent.
constexpr std::array<SpecialKeyRow, kSpecialKeyCount> kSpecialKeys{{
    {36, "\u21A9"},  {51, "\u232B"},  {117, "\u2326"}, {119, "\u2198"}, {53, "\u238B"},  {114, "?\u20DD"},
    {115, "\u2196"}, {49, " "},       {48, "\u21E5"},  {116, "\u21DE"}, {121, "\u21DF"}, {126, "\u2191"},
    {124, "\u2192"}, {125, "\u2193"}, {123, "\u2190"}, {122, "\uF704"}, {120, "\uF705"}, {99, "\uF706"},
    {118, "\uF707"}, {96, "\uF708"},  {97, "\uF709"},  {98, "\uF70A"},  {100, "\uF70B"}, {101, "\uF70C"},
    {109, "\uF70D"}, {103, "\uF70E"}, {111, "\uF70F"}, {105, "\uF710"}, {107, "\uF711"}, {113, "\uF712"},
    {106, "\uF713"}, {64, "\uF714"},  {79, "\uF715"},  {80, "\uF716"},  {90, "\uF717"},  {82, nullptr},
    {83, nullptr},   {84, nullptr},   {85, nullptr},   {86, nullptr},   {87, nullptr},   {88, nullptr},
    {89, nullptr},   {91, nullptr},   {92, nullptr},   {71, nullptr},   {65, nullptr},   {75, nullptr},
    {76, nullptr},   {81, nullptr},   {78, nullptr},   {67, nullptr},   {69, nullptr},
}};

// Upper-cases the first letter of each word (a lone "a" becomes "A", "space" becomes "Space").
std::string capitalized(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    u.toTitle(nullptr, icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

int graphemeCount(const std::string& text) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return -1;
    it->setText(u);
    int count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) ++count;
    return count;
}

}  // namespace

Shortcut::Shortcut(std::int64_t keyCode, std::int64_t modifiers)
    : carbonKeyCode(keyCode), carbonModifiers(normalizedCarbonModifiers(modifiers)) {}

Shortcut::Shortcut(Key key, std::uint64_t modifiers)
    : carbonKeyCode(key.rawValue), carbonModifiers(cocoaToCarbonModifiers(modifiers)) {}

Shortcut Shortcut::raw(std::int64_t keyCode, std::int64_t modifiers) {
    Shortcut s;
    s.carbonKeyCode = keyCode;
    s.carbonModifiers = modifiers;
    return s;
}

std::optional<Shortcut> Shortcut::fromEvent(EventKind kind, std::int64_t keyCode, std::uint64_t modifierFlags) {
    if (kind == EventKind::other) return std::nullopt;
    const std::uint64_t withoutFunction = modifierFlags & ~CocoaModifier::function;
    const std::int64_t carbon = cocoaToCarbonModifiers(carbonToCocoaModifiers(cocoaToCarbonModifiers(withoutFunction)));
    return Shortcut(keyCode, carbon);
}

std::optional<Shortcut> Shortcut::fromName(const Name& name) { return getShortcut(name); }

std::string modifierSymbols(std::uint64_t modifiers) {
    std::string s;
    auto add = [&s](const char* nameKey) { s += localized(nameKey) + " + "; };
    if (modifiers & CocoaModifier::control) add("modifier_control");
    if (modifiers & CocoaModifier::option) add("modifier_option");
    if (modifiers & CocoaModifier::shift) add("modifier_shift");
    if (modifiers & CocoaModifier::command) add("modifier_command");
    if (modifiers & CocoaModifier::function) add("modifier_function");
    return s;
}

std::optional<SpecialKey> specialKeyByKeyCode(std::int64_t keyCode) {
    for (int i = 0; i < kSpecialKeyCount; ++i)
        if (kSpecialKeys[static_cast<std::size_t>(i)].keyCode == keyCode) return static_cast<SpecialKey>(i);
    return std::nullopt;
}

std::int64_t keyCodeOf(SpecialKey key) { return kSpecialKeys[static_cast<std::size_t>(key)].keyCode; }

std::string displayText(SpecialKey key) {
    const int index = static_cast<int>(key);
    if (key >= SpecialKey::f1 && key <= SpecialKey::f20)
        return "F" + std::to_string(index - static_cast<int>(SpecialKey::f1) + 1);
    if (key >= SpecialKey::keypad0 && key <= SpecialKey::keypad9)
        return localizedFormat("keypad_key", {std::to_string(index - static_cast<int>(SpecialKey::keypad0))});
    switch (key) {
        case SpecialKey::returnKey:
            return localized("return_key");
        case SpecialKey::deleteKey:
            return localized("delete_key");
        case SpecialKey::deleteForward:
            return localized("delete_forward_key");
        case SpecialKey::end:
            return localized("end_key");
        case SpecialKey::escape:
            return localized("escape_key");
        case SpecialKey::help:  // the Insert key of PC keyboards sits where the Help key was
            return localized("help_key");
        case SpecialKey::home:
            return localized("home_key");
        case SpecialKey::space:
            return capitalized(localized("space_key"));
        case SpecialKey::tab:
            return localized("tab_key");
        case SpecialKey::pageUp:
            return localized("page_up_key");
        case SpecialKey::pageDown:
            return localized("page_down_key");
        case SpecialKey::upArrow:
            return localized("up_arrow_key");
        case SpecialKey::rightArrow:
            return localized("right_arrow_key");
        case SpecialKey::downArrow:
            return localized("down_arrow_key");
        case SpecialKey::leftArrow:
            return localized("left_arrow_key");
        case SpecialKey::keypadClear:  // Num Lock on PC keyboards
            return localized("keypad_clear_key");
        case SpecialKey::keypadDecimal:
            return localizedFormat("keypad_key", {"."});
        case SpecialKey::keypadDivide:
            return localizedFormat("keypad_key", {"/"});
        case SpecialKey::keypadEnter:
            return localizedFormat("keypad_key", {localized("return_key")});
        case SpecialKey::keypadEquals:
            return localizedFormat("keypad_key", {"="});
        case SpecialKey::keypadMinus:
            return localizedFormat("keypad_key", {"-"});
        case SpecialKey::keypadMultiply:
            return localizedFormat("keypad_key", {"*"});
        case SpecialKey::keypadPlus:
            return localizedFormat("keypad_key", {"+"});
        default:
            break;
    }
    return {};
}

std::optional<std::string> menuKeyEquivalent(SpecialKey key) {
    const char* menu = kSpecialKeys[static_cast<std::size_t>(key)].menu;
    if (!menu) return std::nullopt;
    return std::string(menu);
}

std::optional<std::string> Shortcut::keyToCharacter(std::int64_t keyCode) {
    auto layout = currentKeyboardLayout();
    if (!layout) return std::nullopt;
    if (specialKeyByKeyCode(keyCode)) return std::nullopt;
    if (keyCode < 0 || keyCode > 0xFFFF) return std::nullopt;
    auto text = layout->textForKey(keyCode);
    if (!text || graphemeCount(*text) != 1) return std::nullopt;
    return text;
}

std::string Shortcut::description() const {
    std::string keyText;
    if (auto special = specialKeyByKeyCode(carbonKeyCode))
        keyText = displayText(*special);
    else
        keyText = capitalized(keyToCharacter(carbonKeyCode).value_or("\uFFFD"));
    return modifierSymbols(modifiers()) + keyText;
}

std::optional<std::string> Shortcut::menuKeyEquivalent() const {
    if (auto special = specialKeyByKeyCode(carbonKeyCode)) return KeyboardShortcuts::menuKeyEquivalent(*special);
    return keyToCharacter(carbonKeyCode);
}

}  // namespace vandrel::KeyboardShortcuts
