#include "onboarding/CompactStep.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "onboarding/OnboardingStyle.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
class NumberCircle : public QWidget {
    Q_OBJECT

public:
    NumberCircle(QString number, QWidget* parent) : QWidget(parent), m_number(std::move(number)) {
        setFixedSize(24, 24);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(brandIndigoColor(0.08));
        p.drawEllipse(rect());
        p.setPen(brandIndigoColor());
        p.setFont(monoFont(12, QFont::Bold));
        p.drawText(rect(), Qt::AlignCenter, m_number);
    }

private:
    QString m_number;
};
}  // namespace

CompactStep::CompactStep(const std::string& number, const std::string& text, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new NumberCircle(QString::fromStdString(number), this), 0, Qt::AlignVCenter);
    m_text = onboardingstyle::textLabel(this, monoFont(11), onboardingstyle::primary());
    row->addWidget(m_text, 1, Qt::AlignVCenter);
    setText(text);
}

void CompactStep::setText(const std::string& text) { m_text->setText(QString::fromStdString(text)); }

QString CompactStep::text() const { return m_text->text(); }

}  // namespace vandrel

#include "CompactStep.moc"
