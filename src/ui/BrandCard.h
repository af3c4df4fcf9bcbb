#pragma once

#include <QVBoxLayout>
#include <QWidget>

namespace vandrel {

// A card around content: the content padded by `padding` on every edge, on a rounded rectangle
// (radius 16) of the control background, outlined inside its edge by a 1-point hairline of the primary
// colour at 0.08. Put the content into contentLayout() (or pass it to the constructor).
class BrandCard : public QWidget {
    Q_OBJECT
public:
    explicit BrandCard(double padding, QWidget* parent = nullptr);
    BrandCard(QWidget* content, double padding, QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return m_layout; }
    double padding() const { return m_padding; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* m_layout;
    double m_padding;
};

}  // namespace vandrel
