#include "onboarding/OnboardingLanguageTag.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "onboarding/OnboardingStyle.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/SymbolButton.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace style = onboardingstyle;

OnboardingLanguageTag::OnboardingLanguageTag(const QString& name, bool isPrimary, bool canRemove,
                                             std::function<void()> onTap, std::function<void()> onRemove,
                                             QWidget* parent)
    : QWidget(parent), m_name(name), m_isPrimary(isPrimary), m_canRemove(canRemove), m_onTap(std::move(onTap)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(6);
    if (isPrimary) {
        auto* star = new QLabel(this);
        star->setPixmap(symbol("star.fill", 10, systemColor(SystemColor::orange, palette())));
        star->setAttribute(Qt::WA_TransparentForMouseEvents);
        row->addWidget(star);
    }
    auto* label = style::textLabel(this, monoFont(13, isPrimary ? QFont::DemiBold : QFont::Normal),
                                   isPrimary ? brandIndigoColor() : style::primary());
    label->setWordWrap(false);
    label->setText(name);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(label);
    if (canRemove) {
        m_remove = new SymbolButton("xmark.circle.fill", 10, this);
        m_remove->setObjectName("removeLanguage");
        connect(m_remove, &SymbolButton::clicked, this, [fn = std::move(onRemove)] {
            if (fn) fn();
        });
        row->addWidget(m_remove);
    }
    setCursor(Qt::PointingHandCursor);
}

void OnboardingLanguageTag::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(r, 16, 16);
    p.fillPath(path, m_isPrimary ? brandIndigoColor(0.08) : style::secondary(0.1));
    if (m_isPrimary) {
        p.setPen(QPen(brandIndigoColor(0.3), 1));
        p.drawPath(path);
    }
}

void OnboardingLanguageTag::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && m_onTap) m_onTap();
    QWidget::mouseReleaseEvent(event);
}

}  // namespace vandrel
