#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace vandrel {

class SectionKicker;

// One section of a grouped settings form: an optional header kicker, the rows, and an optional footer
// note. Empty header or footer texts hide them.
class FormSection : public QWidget {
    Q_OBJECT
public:
    explicit FormSection(QWidget* parent = nullptr);

    void setHeader(const QString& text);
    void setFooter(const QString& text);
    QString headerText() const;
    QString footerText() const;
    bool hasFooter() const;
    QVBoxLayout* rows() const { return m_rows; }

    // A row label of the General tab: plain text, 13 points, monospaced.
    static QLabel* makeRowLabel(const QString& text, QWidget* parent);
    // An explaining text in the secondary colour: plain text, wrapping, monospaced, at `points`.
    static QLabel* makeSecondaryText(const QString& text, double points, QWidget* parent);
    // A picker row of the General tab: a row label, the space between, and a combo box (13 points,
    // monospaced), both made in `parent`. The caller places the returned layout.
    static QHBoxLayout* makeComboRow(QLabel*& label, QComboBox*& combo, QWidget* parent);

private:
    SectionKicker* m_header;
    QWidget* m_card;
    QVBoxLayout* m_rows;
    QLabel* m_footer;
};

}  // namespace vandrel
