#include "settings/LexiconCardRow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/BrandCard.h"
#include "ui/Colors.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {

class ActiveOutline : public QWidget {
    Q_OBJECT

public:
    explicit ActiveOutline(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(brandIndigoColor(0.5), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 16, 16);
    }
};

}  // namespace

LexiconCardRow::LexiconCardRow(bool isActive, std::function<void()> onTap, QWidget* parent)
    : QWidget(parent), m_active(isActive), m_onTap(std::move(onTap)) {
    setCursor(Qt::PointingHandCursor);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_card = new BrandCard(14, this);
    layout->addWidget(m_card);
    if (m_active) m_outline = new ActiveOutline(this);
}

QLabel* LexiconCardRow::makeRadioMark() {
    auto* mark = new QLabel(this);
    mark->setFixedSize(32, 32);
    mark->setAlignment(Qt::AlignCenter);
    mark->setPixmap(symbol(m_active ? QStringLiteral("largecircle.fill.circle") : QStringLiteral("circle"), 20,
                           m_active ? brandIndigoColor() : secondaryColor(palette())));
    return mark;
}

QVBoxLayout* LexiconCardRow::cardLayout() const { return m_card->contentLayout(); }

void LexiconCardRow::click() {
    if (m_onTap) m_onTap();
}

void LexiconCardRow::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LexiconCardRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = std::exchange(m_pressed, false);
    event->accept();
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
}

void LexiconCardRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_outline) {
        m_outline->setGeometry(rect());
        m_outline->raise();
    }
}

}  // namespace vandrel

#include "LexiconCardRow.moc"
