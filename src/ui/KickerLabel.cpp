#include "ui/KickerLabel.h"

#include "ui/Fonts.h"

namespace vandrel {

KickerLabel::KickerLabel(const QString& text, const QColor& colour, QWidget* parent)
    : WrappingText(parent), m_text(text), m_colour(colour) {
    setTextFont(monoFont(10, QFont::DemiBold, 1.5));
    applyRuns();
}

void KickerLabel::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    applyRuns();
}

void KickerLabel::setColour(const QColor& colour) {
    m_colour = colour;
    applyRuns();
}

QString KickerLabel::displayText() const { return m_text.toUpper(); }

void KickerLabel::applyRuns() {
    setRuns({Run{displayText(), Emphasis::primary, m_colour}});
    // Screen readers get the words as written, not shouted.
    setAccessibleName(m_text);
}

}  // namespace vandrel
