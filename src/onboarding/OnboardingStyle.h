#pragma once

#include <QColor>
#include <QFont>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace vandrel::onboardingstyle {

// The application palette's text at falling strength, following light and dark.
QColor primary(double opacity = 1);
QColor secondary(double opacity = 1);

// A wrapping plain-text label.
QLabel* textLabel(QWidget* parent, const QFont& font, const QColor& colour, Qt::Alignment alignment = Qt::AlignLeft);
void setText(QLabel* label, const std::string& text);

}  // namespace vandrel::onboardingstyle
