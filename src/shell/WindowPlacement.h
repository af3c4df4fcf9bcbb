#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace vandrel {

// Where a window of `size` goes in `area`: centred, kept inside it; a window wider than the area is
// aligned to its left edge, one taller than the area has its bottom edge on the area's bottom.
QPoint centeredOrigin(const QRect& area, const QSize& size);

// Moves `window` to the middle of the primary screen's available area (without a screen, leaves it to
// the window manager).
void centerWindowOnMainScreen(QWidget& window);

}  // namespace vandrel
