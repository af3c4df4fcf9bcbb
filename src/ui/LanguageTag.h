#pragma once

#include <QString>
#include <QWidget>

#include <functional>

namespace vandrel {

class SymbolButton;

// The chip of one chosen dictation language: an orange star for the primary language, the name
// (monospaced 13 points) and a remove button (×), padded by 10 left and right and 5 above and below, on
// a capsule of brandIndigo at 0.15 (active) or gray at 0.3 (inactive). An inactive chip is drawn at half
// opacity. A click on the chip calls onTap only when the chip is active and not primary; the remove
// button calls onRemove and is disabled (drawn at 0.3) when the chip cannot be removed.
class LanguageTag : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPaddingX = 10;
    static constexpr int kPaddingY = 5;
    static constexpr int kSpacing = 4;

    LanguageTag(const QString& name, bool isPrimary, bool canRemove, bool isActive, std::function<void()> onTap,
                std::function<void()> onRemove, QWidget* parent = nullptr);

    QString name() const { return m_name; }
    bool isPrimary() const { return m_isPrimary; }
    bool canRemove() const { return m_canRemove; }
    bool isActive() const { return m_isActive; }
    SymbolButton* removeButton() const { return m_remove; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Geometry {
        QRectF star;
        QRectF name;
        QRectF remove;
    };
    Geometry geometryFor(const QSize& size) const;
    double nameWidth() const;
    double contentHeight() const;

    QString m_name;
    bool m_isPrimary;
    bool m_canRemove;
    bool m_isActive;
    std::function<void()> m_onTap;
    std::function<void()> m_onRemove;
    SymbolButton* m_remove;
    bool m_pressed = false;
};

}  // namespace vandrel
