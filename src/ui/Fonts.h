#pragma once

#include <QFont>

namespace vandrel {

// Sizes in the windows are given in points: one point is one logical pixel at any screen resolution.
// Every font of the windows and the overlay comes from font() below, so that conversion lives here only.

// The typeface design: the system font in its monospaced design (the windows' voice) or its default one.
enum class FontDesign { monospaced, standard };

// The platform's text styles, in points.
namespace TextStyle {
inline constexpr double largeTitle = 26;
inline constexpr double title1 = 22;
inline constexpr double title2 = 17;
inline constexpr double title3 = 15;
inline constexpr double body = 13;
inline constexpr double callout = 12;
inline constexpr double subheadline = 11;
inline constexpr double footnote = 10;
inline constexpr double caption = 10;
inline constexpr double caption2 = 10;
}  // namespace TextStyle

// A font of `points` size, `weight` and `tracking` (extra space after each letter, in points).
QFont font(double points, QFont::Weight weight = QFont::Normal, double tracking = 0.0,
           FontDesign design = FontDesign::monospaced);
inline QFont monoFont(double points, QFont::Weight weight = QFont::Normal, double tracking = 0.0) {
    return font(points, weight, tracking, FontDesign::monospaced);
}
inline QFont systemFont(double points, QFont::Weight weight = QFont::Normal, double tracking = 0.0) {
    return font(points, weight, tracking, FontDesign::standard);
}

// The family the monospaced design resolves to ("DejaVu Sans Mono" when installed, else the system's
// fixed-pitch font).
QString monospacedFamily();

}  // namespace vandrel
