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
    return label;
}

void setText(QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); }

}  // namespace vandrel::onboardingstyle
