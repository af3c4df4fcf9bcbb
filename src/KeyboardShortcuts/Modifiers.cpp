#include "KeyboardShortcuts/Modifiers.h"

#include <array>
#include <utility>

namespace vandrel::KeyboardShortcuts {
namespace {
constexpr std::array<std::pair<std::uint64_t, std::int64_t>, 5> kPairs{{
    {CocoaModifier::command, CarbonModifier::command},
    {CocoaModifier::shift, CarbonModifier::shift},
    {CocoaModifier::option, CarbonModifier::option},
    {CocoaModifier::control, CarbonModifier::control},
    {CocoaModifier::function, CarbonModifier::function},
}};
}  // namespace

std::int64_t cocoaToCarbonModifiers(std::uint64_t cocoa) {
    std::int64_t carbon = 0;
    for (auto [c, k] : kPairs)
        if (cocoa & c) carbon |= k;
    return carbon;
}

std::uint64_t carbonToCocoaModifiers(std::int64_t carbon) {
    std::uint64_t cocoa = 0;
    for (auto [c, k] : kPairs)
        if (carbon & k) cocoa |= c;
    return cocoa;
}

}  // namespace vandrel::KeyboardShortcuts
