#include "shell/PillButton.h"

#include <QPainter>
#include <QPainterPath>

#include "base/LocalizationManager.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
constexpr int kMinWidth = 120;
constexpr int kPadX = 18;
constexpr int kPadY = 9;
constexpr double kRadius = 8;
}  // namespace

PillButton::PillButton(std::string labelKey, bool isPrimary, QWidget* parent)
    : QAbstractButton(parent), m_labelKey(std::move(labelKey)), m_isPrimary(isPrimary) {
    setFont(monoFont(TextStyle::body, QFont::DemiBold));
    setCursor(Qt::PointingHandCursor);
    retranslate();
}

void PillButton::retranslate() {
    setText(QString::fromStdString(localized(m_labelKey)));
    updateGeometry();
    update();
}

QSize PillButton::sizeHint() const {
    const QFontMetrics fm(font());
    // The label's frame is at least kMinWidth wide; the padding comes on top of it.
    return {std::max(kMinWidth, fm.horizontalAdvance(text())) + 2 * kPadX, fm.height() + 2 * kPadY};
}

void PillButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    p.fillPath(shape, m_isPrimary ? palette().color(QPalette::Highlight) : secondaryColor(palette(), 0.18));
    p.setPen(m_isPrimary ? QColor(Qt::white) : primaryColor(palette()));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace vandrel
