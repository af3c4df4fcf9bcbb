#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vandrel {

// The badge at the end of a permission row: a word in capitals, with a check mark before it when the
// grant is there, in one colour on a pill tinted with that colour and edged by a hairline of it.
class PermissionBadge : public QWidget {
    Q_OBJECT
public:
    explicit PermissionBadge(QWidget* parent = nullptr);

    // `text` is shown as given (the caller capitalises it after localising).
    void set(const QString& text, const QColor& colour, bool checkMark);
    QString text() const { return m_text; }
    QColor colour() const { return m_colour; }
    bool showsCheckMark() const { return m_checkMark; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_colour;
    bool m_checkMark = false;
};

}  // namespace vandrel
