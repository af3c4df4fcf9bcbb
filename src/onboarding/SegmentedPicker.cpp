#include "onboarding/SegmentedPicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {

constexpr double kRadius = 6;
constexpr int kInset = 2;

class Segment : public QPushButton {
    Q_OBJECT

public:
    Segment(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setCheckable(true);
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
        setFont(monoFont(12));
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return {fm.horizontalAdvance(text()) + 20, fm.height() + 8};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (isChecked()) {
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()), kRadius - kInset, kRadius - kInset);
            p.fillPath(shape, brandIndigoColor(isDown() ? 0.85 : 1.0));
        } else if (isDown() || underMouse()) {
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()), kRadius - kInset, kRadius - kInset);
            p.fillPath(shape, brandIndigoColor(0.1));
        }
        p.setPen(isChecked() ? QColor(Qt::white) : primaryColor(palette()));
        p.drawText(rect(), Qt::AlignCenter, fontMetrics().elidedText(text(), Qt::ElideRight, width() - 8));
    }
};

}  // namespace

SegmentedPicker::SegmentedPicker(QWidget* parent) : QWidget(parent) {
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(kInset, kInset, kInset, kInset);
    m_row->setSpacing(kInset);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
}

QPushButton* SegmentedPicker::addSegment(const QString& text) {
    auto* segment = new Segment(text, this);
    m_group->addButton(segment);
    m_row->addWidget(segment, 1);
    return segment;
}

void SegmentedPicker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    p.fillPath(track, quietFillColor(palette()));
    p.setPen(QPen(brandIndigoColor(0.35), 1));
    p.drawPath(track);
}

}  // namespace vandrel

#include "SegmentedPicker.moc"
