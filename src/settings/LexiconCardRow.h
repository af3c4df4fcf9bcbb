#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QVBoxLayout;

namespace vandrel {

class BrandCard;

// A selectable lexicon card: a BrandCard whose whole area is one button, with a radio mark and, while
// active, an indigo outline over the card. Buttons inside the card react on their own.
class LexiconCardRow : public QWidget {
    Q_OBJECT
public:
    LexiconCardRow(bool isActive, std::function<void()> onTap, QWidget* parent);
    bool isActive() const { return m_active; }
    // The radio mark, for the subclass to place.
    QLabel* makeRadioMark();
    QVBoxLayout* cardLayout() const;
    void click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool m_active;
    bool m_pressed = false;
    std::function<void()> m_onTap;
    BrandCard* m_card;
    QWidget* m_outline = nullptr;
};

}  // namespace vandrel
