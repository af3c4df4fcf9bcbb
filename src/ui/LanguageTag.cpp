#include "ui/LanguageTag.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/SymbolButton.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {
constexpr double kStarSize = TextStyle::caption2;
constexpr double kRemoveSize = TextStyle::caption;
constexpr double kInactiveOpacity = 0.5;
}  // namespace

LanguageTag::LanguageTag(const QString& name, bool isPrimary, bool canRemove, bool isActive,
                         std::function<void()> onTap, std::function<void()> onRemove, QWidget* parent)
    : QWidget(parent),
      m_name(name),
      m_isPrimary(isPrimary),
      m_canRemove(canRemove),
      m_isActive(isActive),
      m_onTap(std::move(onTap)),
      m_onRemove(std::move(onRemove)),
      m_remove(new SymbolButton(QStringLiteral("xmark.circle.fill"), kRemoveSize, this)) {
    setFont(monoFont(13));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setAccessibleName(m_name);
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_remove->setEmphasis(Emphasis::tertiary);
    m_remove->setEnabled(m_canRemove);
    const double chip = m_isActive ? 1.0 : kInactiveOpacity;
    m_remove->setOpacities(chip * 1.0, chip * 0.3);
    // Copies: the embedding view may rebuild its chips (and destroy this one) from inside the action.
    connect(m_remove, &QAbstractButton::clicked, this, [this] {
        if (auto action = m_onRemove) action();
    });
}

double LanguageTag::nameWidth() const { return QFontMetricsF(font()).horizontalAdvance(m_name); }

double LanguageTag::contentHeight() const {
    return std::max({QFontMetricsF(font()).height(), kRemoveSize, m_isPrimary ? kStarSize : 0.0});
}

LanguageTag::Geometry LanguageTag::geometryFor(const QSize& size) const {
    Geometry g;
    const double h = contentHeight();
    const double top = (size.height() - h) / 2;
    double x = kPaddingX;
    if (m_isPrimary) {
        g.star = QRectF(x, top + (h - kStarSize) / 2, kStarSize, kStarSize);
        x += kStarSize + kSpacing;
    }
    // The remove button keeps its place at the trailing edge; the name gets what is left.
    const QSize removeSize = m_remove->sizeHint();
    const double removeX = size.width() - kPaddingX - removeSize.width();
    g.name = QRectF(x, top, std::max(0.0, std::min(nameWidth(), removeX - kSpacing - x)), h);
    g.remove = QRectF(removeX, top + (h - removeSize.height()) / 2, removeSize.width(), removeSize.height());
    return g;
}

QSize LanguageTag::sizeHint() const {
    double w = kPaddingX + nameWidth() + kSpacing + m_remove->sizeHint().width() + kPaddingX;
    if (m_isPrimary) w += kStarSize + kSpacing;
    return {static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(contentHeight())) + 2 * kPaddingY};
}

QSize LanguageTag::minimumSizeHint() const {
    const QSize hint = sizeHint();
    const double ellipsis = QFontMetricsF(font()).horizontalAdvance(QStringLiteral("…"));
    return {std::min(hint.width(), static_cast<int>(std::ceil(hint.width() - nameWidth() + ellipsis))), hint.height()};
}

void LanguageTag::resizeEvent(QResizeEvent* event) {
    m_remove->setGeometry(geometryFor(size()).remove.toAlignedRect());
    QWidget::resizeEvent(event);
}

void LanguageTag::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    painter.setOpacity(m_isActive ? 1.0 : kInactiveOpacity);

    const QRectF bounds = QRectF(rect());
    const double radius = bounds.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, radius, radius);
    painter.fillPath(capsule, m_isActive ? brandIndigoColor(0.15) : systemColor(SystemColor::gray, palette(), 0.3));

    const Geometry g = geometryFor(size());
    if (m_isPrimary) {
        const QPixmap star = symbol(QStringLiteral("star.fill"), kStarSize, systemColor(SystemColor::orange, palette()),
                                    devicePixelRatioF());
        if (!star.isNull()) painter.drawPixmap(g.star.topLeft(), star);
    }
    painter.setPen(m_isActive ? primaryColor(palette()) : tertiaryColor(palette()));
    painter.drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(font()).elidedText(m_name, Qt::ElideRight, g.name.width()));
}

void LanguageTag::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LanguageTag::mouseReleaseEvent(QMouseEvent* event) {
    const bool tapped = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (!tapped || m_isPrimary || !m_isActive) return;
    if (auto action = m_onTap) action();
}

}  // namespace vandrel
