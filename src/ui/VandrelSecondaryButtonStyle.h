#pragma once

#include <QPushButton>

namespace vandrel {

// The quieter button: its text in the system body font (default design) at medium weight, in
// brandIndigo, padded by 20 left and right and 8 above and below, inside a rounded outline (radius 8,
// 1.5 wide, inside the edge) of brandIndigo at 0.6, or 0.5 while pressed. While pressed the whole button
// is drawn at 0.7.
class VandrelSecondaryButtonStyle : public QPushButton {
    Q_OBJECT
public:
    static constexpr int kPaddingX = 20;
    static constexpr int kPaddingY = 8;
    static constexpr double kRadius = 8;
    static constexpr double kBorderWidth = 1.5;

    explicit VandrelSecondaryButtonStyle(const QString& text, QWidget* parent = nullptr);

    double buttonOpacity() const { return isDown() ? 0.7 : 1.0; }
    double borderOpacity() const { return isDown() ? 0.5 : 0.6; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vandrel
