#pragma once

#include <QAbstractButton>
#include <QColor>

#include <optional>

#include "ui/Colors.h"

namespace vandrel {

// A borderless button that is only a symbol (remove, info and similar small actions). Its whole padded
// rectangle takes clicks. The symbol is drawn in a fixed colour, or in the palette's text at an emphasis
// (secondary unless told otherwise).
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbolName, double size, QWidget* parent = nullptr);

    void setSymbolName(const QString& symbolName);
    QString symbolName() const { return m_symbolName; }
    void setColour(const QColor& colour);
    void setEmphasis(Emphasis emphasis);
    QColor currentColour() const;
    // Padding around the symbol, part of the clickable area.
    void setPadding(int padding);
    // The opacity the button is drawn at while enabled and while disabled.
    void setOpacities(double enabled, double disabled);
    double currentOpacity() const { return isEnabled() ? m_enabledOpacity : m_disabledOpacity; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbolName;
    double m_size;
    int m_padding = 0;
    std::optional<QColor> m_colour;
    Emphasis m_emphasis = Emphasis::secondary;
    double m_enabledOpacity = 1.0;
    double m_disabledOpacity = 1.0;
};

}  // namespace vandrel
