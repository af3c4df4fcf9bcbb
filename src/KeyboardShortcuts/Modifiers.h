#pragma once

#include <cstdint>

namespace vandrel::KeyboardShortcuts {

// Two flag sets describe modifiers: the stored form (the mask kept in settings, shared with the
// documented settings format) and the event form used by key events and display. Only command,
// shift, option, control and function exist in both; every other bit is dropped by a conversion.
namespace CocoaModifier {
inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t numericPad = 0x200000;
inline constexpr std::uint64_t help = 0x400000;
inline constexpr std::uint64_t function = 0x800000;
}  // namespace CocoaModifier

namespace CarbonModifier {
inline constexpr std::int64_t command = 0x100;
inline constexpr std::int64_t shift = 0x200;
inline constexpr std::int64_t capsLock = 0x400;
inline constexpr std::int64_t option = 0x800;
inline constexpr std::int64_t control = 0x1000;
inline constexpr std::int64_t function = 0x20000;
}  // namespace CarbonModifier

std::int64_t cocoaToCarbonModifiers(std::uint64_t cocoa);
std::uint64_t carbonToCocoaModifiers(std::int64_t carbon);
// Carbon -> Cocoa -> Carbon: only the five known bits survive.
inline std::int64_t normalizedCarbonModifiers(std::int64_t carbon) {
    return cocoaToCarbonModifiers(carbonToCocoaModifiers(carbon));
}

}  // namespace vandrel::KeyboardShortcuts
