#include "onboarding/OnboardingStyle.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel::onboardingstyle {

QColor brandIndigo(double opacity) { return brandIndigoColor(opacity); }
QColor primary(double opacity) { return primaryColor(QApplication::palette(), opacity); }
QColor secondary(double opacity) { return secondaryColor(QApplication::palette(), opacity); }
QColor tertiary(double opacity) { return tertiaryColor(QApplication::palette(), opacity); }
QBrush brandGradient(const QRectF& rect) { return vandrel::brandGradient(rect); }
QFont mono(double size, QFont::Weight weight) { return monoFont(size, weight); }

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
