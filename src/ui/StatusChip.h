#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vandrel {

// A small state badge: `text` upper-cased, monospaced 9.5 points semibold with a tracking of 1, in the
// tone's colour, padded by 7 left and right and 3 above and below, on a rounded rectangle (radius 4) of
// the tone's colour at 0.12. One line; elided at the end when it is given less width than it needs.
class StatusChip : public QWidget {
    Q_OBJECT
public:
    enum class Tone { active, info, pending };
    static QColor toneColor(Tone tone);
    static constexpr double kFillOpacity = 0.12;
    static constexpr int kPaddingX = 7;
    static constexpr int kPaddingY = 3;

    StatusChip(const QString& text, Tone tone, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setTone(Tone tone);
    QString text() const { return m_text; }
    QString displayText() const;
    Tone tone() const { return m_tone; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    Tone m_tone;
};

}  // namespace vandrel
