#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vandrel {

// A small heading above a section: `text` upper-cased, monospaced 10 points semibold with a tracking of
// 1.5, in `colour`. One line; elided at the end when it is given less width than it needs.
class KickerLabel : public QWidget {
    Q_OBJECT
public:
    KickerLabel(const QString& text, const QColor& colour, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // What is drawn: the text in capitals (locale-independent case mapping).
    QString displayText() const;
    void setColour(const QColor& colour);
    QColor colour() const { return m_colour; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_colour;
};

}  // namespace vandrel
