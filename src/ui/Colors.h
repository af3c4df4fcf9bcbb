#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QPalette>
#include <QRectF>

#include "base/Brand.h"

namespace vandrel {

// The windows' colours. Foreground styles and backgrounds come from the palette, so they follow a light
// or dark desktop; the brand colours (base/Brand.h) are the same in both.

QColor toQColor(Color color);
QColor brandIndigoColor(double opacity = 1.0);
QColor brandBlueColor(double opacity = 1.0);

// brandIndigo to brandBlue, from the top-left to the bottom-right corner of `rect`.
QLinearGradient brandGradient(const QRectF& rect);

// True when the palette's window is darker than its text.
bool isDark(const QPalette& palette);

// Text in its three emphases: the palette's text colour at falling opacity, times `opacity`.
QColor primaryColor(const QPalette& palette, double opacity = 1.0);
QColor secondaryColor(const QPalette& palette, double opacity = 1.0);
QColor tertiaryColor(const QPalette& palette, double opacity = 1.0);
enum class Emphasis { primary, secondary, tertiary };
QColor emphasisColor(const QPalette& palette, Emphasis emphasis, double opacity = 1.0);
// Quiet fills and hairlines: the primary colour at 0.08.
QColor quietFillColor(const QPalette& palette);
inline constexpr double kQuietFillOpacity = 0.08;
// Opacity of the text colour for primary and secondary text.
inline constexpr double kPrimaryTextOpacity = 0.85;
inline constexpr double kSecondaryTextOpacity = 0.5;

// The background behind controls (cards) and behind editable text.
QColor controlBackgroundColor(const QPalette& palette);
QColor textBackgroundColor(const QPalette& palette);

// The desktop's named accent colours, with a light and a dark variant.
enum class SystemColor { red, orange, green, blue, indigo, gray };
QColor systemColor(SystemColor which, const QPalette& palette, double opacity = 1.0);

}  // namespace vandrel
