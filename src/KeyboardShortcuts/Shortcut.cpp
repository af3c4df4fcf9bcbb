#include "KeyboardShortcuts/Shortcut.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/LocalizationManager.h"

namespace vandrel::KeyboardShortcuts {
namespace {

struct SpecialKeyRow {
    std::int64_t keyCode;
    const char* display;
    const char* menu;  // nullptr: no menu key equivalent
};

// Indexed by SpecialKey. Function keys carry the private-use function-key characters U+F704.. as their
// menu key equivalent; keypad keys show a keycap mark and have no key equivalent.
constexpr std::array<SpecialKeyRow, kSpecialKeyCount> kSpecialKeys{{
    {36, "\u21A9", "\u21A9"},      {51, "\u232B", "\u232B"},      {117, "\u2326", "\u2326"}, {119, "\u2198", "\u2198"},
    {53, "\u238B", "\u238B"},      {114, "?\u20DD", "?\u20DD"},   {115, "\u2196", "\u2196"}, {49, nullptr, " "},
    {48, "\u21E5", "\u21E5"},      {116, "\u21DE", "\u21DE"},     {121, "\u21DF", "\u21DF"}, {126, "\u2191", "\u2191"},
    {124, "\u2192", "\u2192"},     {125, "\u2193", "\u2193"},     {123, "\u2190", "\u2190"}, {122, "F1", "\uF704"},
    {120, "F2", "\uF705"},         {99, "F3", "\uF706"},          {118, "F4", "\uF707"},     {96, "F5", "\uF708"},
    {97, "F6", "\uF709"},          {98, "F7", "\uF70A"},          {100, "F8", "\uF70B"},     {101, "F9", "\uF70C"},
    {109, "F10", "\uF70D"},        {103, "F11", "\uF70E"},        {111, "F12", "\uF70F"},    {105, "F13", "\uF710"},
    {107, "F14", "\uF711"},        {113, "F15", "\uF712"},        {106, "F16", "\uF713"},    {64, "F17", "\uF714"},
    {79, "F18", "\uF715"},         {80, "F19", "\uF716"},         {90, "F20", "\uF717"},     {82, "0\u20E3", nullptr},
    {83, "1\u20E3", nullptr},      {84, "2\u20E3", nullptr},      {85, "3\u20E3", nullptr},  {86, "4\u20E3", nullptr},
    {87, "5\u20E3", nullptr},      {88, "6\u20E3", nullptr},      {89, "7\u20E3", nullptr},  {91, "8\u20E3", nullptr},
    {92, "9\u20E3", nullptr},      {71, "\u2612\u20E3", nullptr}, {65, ".\u20E3", nullptr},  {75, "/\u20E3", nullptr},
    {76, "\u21A9\u20E3", nullptr}, {81, "=\u20E3", nullptr},      {78, "-\u20E3", nullptr},  {67, "*\u20E3", nullptr},
    {69, "+\u20E3", nullptr},
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
    if (modifiers & CocoaModifier::control) s += "\u2303";
    if (modifiers & CocoaModifier::option) s += "\u2325";
    if (modifiers & CocoaModifier::shift) s += "\u21E7";
    if (modifiers & CocoaModifier::command) s += "\u2318";
    if (modifiers & CocoaModifier::function) s += "\U0001F310\uFE0E";
    return s;
}

std::optional<SpecialKey> specialKeyByKeyCode(std::int64_t keyCode) {
    for (int i = 0; i < kSpecialKeyCount; ++i)
        if (kSpecialKeys[static_cast<std::size_t>(i)].keyCode == keyCode) return static_cast<SpecialKey>(i);
    return std::nullopt;
}

std::int64_t keyCodeOf(SpecialKey key) { return kSpecialKeys[static_cast<std::size_t>(key)].keyCode; }

std::string displayText(SpecialKey key) {
    if (key == SpecialKey::space) return capitalized(localized("space_key"));
    return kSpecialKeys[static_cast<std::size_t>(key)].display;
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
