#pragma once

class QComboBox;

namespace vandrel {

// Turns the entry at `index` of `combo` into the heading of the entries after it: it cannot be chosen,
// and it is drawn as a heading (smaller, semibold, in brandIndigo like the section kickers) instead of
// greyed out like a choice that happens to be unavailable.
void makeComboGroupHeading(QComboBox& combo, int index);
// Whether the entry at `index` was made a heading.
bool isComboGroupHeading(const QComboBox& combo, int index);

}  // namespace vandrel
