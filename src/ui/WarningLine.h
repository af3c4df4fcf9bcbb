#pragma once

class QLabel;
class QWidget;

namespace vandrel {

// An orange warning as every window shows one: the triangle symbol, then the text (plain text, wrapping,
// in orange), at `points`. `textLabel` is set to the text's label; show or hide the returned line.
QWidget* makeWarningLine(QLabel*& textLabel, double points, QWidget* parent);

}  // namespace vandrel
