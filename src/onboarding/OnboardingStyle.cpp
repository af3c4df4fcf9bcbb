#include "onboarding/OnboardingStyle.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

#include "ui/Colors.h"

namespace vandrel::onboardingstyle {

QColor primary(double opacity) { return primaryColor(QApplication::palette(), opacity); }
QColor secondary(double opacity) { return secondaryColor(QApplication::palette(), opacity); }

QLabel* textLabel(QWidget* parent, const QFont& font, const QColor& colour, Qt::Alignment alignment) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(font);
    label->setAlignment(alignment);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    // Inside a button a label would take the button's text role and draw in its (black) text colour.
    label->setForegroundRole(QPalette::WindowText);
    return label;
}

void setText(QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); }

}  // namespace vandrel::onboardingstyle
