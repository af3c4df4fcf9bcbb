#pragma once

namespace vandrel {

// An sRGB colour with components in 0...1.
struct Color {
    double red = 0, green = 0, blue = 0, opacity = 1;
    constexpr Color withOpacity(double o) const { return {red, green, blue, o}; }
    constexpr bool operator==(const Color&) const = default;
};

// The two brand colours, shared by the overlay, the settings window and the onboarding.
inline constexpr Color brandIndigo{0.31, 0.275, 0.898, 1};
inline constexpr Color brandBlue{0.29, 0.561, 0.906, 1};

}  // namespace vandrel
