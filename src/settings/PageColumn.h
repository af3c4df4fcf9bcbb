#pragma once

class QVBoxLayout;
class QWidget;

namespace vandrel {

// The one scrolling column a settings page is laid out in: a frameless scroll area filling the page,
// holding a column with the pages' margins and the given spacing between its sections. Returns the
// column's layout for the page to fill.
QVBoxLayout* makePageColumn(QWidget* page, int spacing, bool alwaysShowScrollBar = false);

}  // namespace vandrel
