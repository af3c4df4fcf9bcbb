#pragma once

#include <QFont>
#include <QMargins>
#include <QSize>
#include <QString>

namespace vandrel {

// Sizes of the one-line texts the components paint themselves (chips, kickers, button titles): the text
// in `font` plus `padding` around it, rounded up to whole pixels.
QSize paddedTextSize(const QFont& font, const QString& text, const QMargins& padding);
// The least size of such a text that elides: room for an ellipsis and the padding, never wider than the
// whole text's size.
QSize elidingTextMinimumSize(const QFont& font, const QString& text, const QMargins& padding);

}  // namespace vandrel
