#pragma once

#include <QColor>
#include <QString>

#include "ui/WrappingText.h"

namespace vandrel {

// A small heading above a section: `text` upper-cased, monospaced 10 points semibold with a tracking of
// 1.5, in `colour`. Given less width than its one line needs, it wraps onto more lines and grows in height:
// a kicker is never cut short.
class KickerLabel : public WrappingText {
    Q_OBJECT
public:
    KickerLabel(const QString& text, const QColor& colour, QWidget* parent = nullptr);

    void setText(const QString& text);
    // The text as given; what is drawn is displayText().
    QString text() const { return m_text; }
    // What is drawn: the text in capitals (locale-independent case mapping).
    QString displayText() const;
    void setColour(const QColor& colour);
    QColor colour() const { return m_colour; }

private:
    void applyRuns();

    QString m_text;
    QColor m_colour;
};

}  // namespace vandrel
