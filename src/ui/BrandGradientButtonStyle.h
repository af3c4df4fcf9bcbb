#pragma once

#include <QPushButton>

namespace vandrel {

// The primary call to action: its text upper-cased, monospaced 13 points bold with a tracking of 0.6, in
// white, padded by 22 left and right and 10 above and below, on a rounded rectangle (radius 12) filled
// with the brand gradient. Only the background fades: 0.4 while disabled, 0.85 while pressed, else 1.
// The whole rounded rectangle takes clicks.
class BrandGradientButtonStyle : public QPushButton {
    Q_OBJECT
public:
    static constexpr int kPaddingX = 22;
    static constexpr int kPaddingY = 10;
    static constexpr double kRadius = 12;

    explicit BrandGradientButtonStyle(const QString& text, QWidget* parent = nullptr);

    QString displayText() const;
    // The background's opacity in the current state.
    double backgroundOpacity() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace vandrel
