#include "settings/LexiconLanguagePill.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/StatusChip.h"

namespace vandrel {

namespace {
constexpr double kPadX = 8, kPadY = 3, kGap = 6;
}

LexiconLanguagePill::LexiconLanguagePill(const SettingsText& text, const std::string& labelKey, bool showBeta,
                                         QWidget* parent)
    : QWidget(parent), m_label(text.localized(labelKey)) {
    if (showBeta) {
        m_beta = new StatusChip(text.localized("whats_new.badge.beta"), StatusChip::Tone::info, this);
        m_beta->resize(m_beta->sizeHint());
    }
    setFixedSize(sizeHint());
    if (m_beta) m_beta->move(static_cast<int>(capsuleRect().right() + kGap), (height() - m_beta->height()) / 2);
}

QRectF LexiconLanguagePill::capsuleRect() const {
    QFontMetricsF fm(monoFont(11, QFont::Medium));
    const double h = fm.height() + 2 * kPadY;
    const double top = m_beta ? std::max(0.0, (m_beta->sizeHint().height() - h) / 2) : 0.0;
    return {0, top, fm.horizontalAdvance(m_label) + 2 * kPadX, h};
}

QSize LexiconLanguagePill::sizeHint() const {
    const QRectF c = capsuleRect();
    double w = c.width(), h = c.height();
    if (m_beta) {
        w += kGap + m_beta->sizeHint().width();
        h = std::max(h, double(m_beta->sizeHint().height()));
    }
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(h))};
}

void LexiconLanguagePill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF c = capsuleRect();
    p.setPen(Qt::NoPen);
    p.setBrush(quietFillColor(palette()));
    p.drawRoundedRect(c, c.height() / 2, c.height() / 2);
    p.setPen(primaryColor(palette()));
    p.setFont(monoFont(11, QFont::Medium));
    p.drawText(c, Qt::AlignCenter, m_label);
}

}  // namespace vandrel
