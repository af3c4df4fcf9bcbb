#pragma once

#include <QString>
#include <QWidget>

namespace vandrel {

// A `size` by `size` tile (rounded, radius 12) filled with the brand gradient, with the symbol
// `systemName` centred on it in white at size × 0.45.
class BrandIconTile : public QWidget {
    Q_OBJECT
public:
    BrandIconTile(const QString& systemName, double size, QWidget* parent = nullptr);

    void setSymbolName(const QString& systemName);
    QString systemName() const { return m_systemName; }
    double tileSize() const { return m_size; }
    double symbolSize() const { return m_size * 0.45; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemName;
    double m_size;
};

}  // namespace vandrel
