#pragma once

#include <QColor>
#include <QFont>

#include "base/Brand.h"
#include "ui/Colors.h"

namespace vandrel::overlay {

// The overlay is drawn in a light look: dark text over a pale translucent surface, whatever the
// desktop's palette says; its brand colours, fonts and animation curves are the windows' own (ui).
using vandrel::toQColor;
// The primary and secondary text colours, optionally faded further by `opacity`.
QColor primaryColor(double opacity = 1.0);
QColor secondaryColor(double opacity = 1.0);

// Sizes in points (one logical pixel each), so the overlay keeps its proportions at any resolution.
QFont bodyFont();     // 13 px, medium weight, tracking 0.3
QFont calloutFont();  // 12 px
QFont elapsedFont();  // 13 px, semibold, fixed pitch, tracking 0.5

}  // namespace vandrel::overlay
