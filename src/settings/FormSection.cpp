#include "settings/FormSection.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/SectionKicker.h"

namespace vandrel {

namespace {

// The group box of a form section: a quiet rounded fill behind the rows, as grouped forms draw them.
class SectionCard : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(quietFillColor(palette()));
        p.drawRoundedRect(QRectF(rect()), 10, 10);
    }
};

}  // namespace

FormSection::FormSection(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_header = new SectionKicker(QString(), this);
    m_header->hide();
    layout->addWidget(m_header);
    m_card = new SectionCard(this);
    m_rows = new QVBoxLayout(m_card);
    m_rows->setContentsMargins(12, 10, 12, 10);
    m_rows->setSpacing(8);
    layout->addWidget(m_card);
    // A footer explains the rows above it: quieter than their labels.
    m_footer = makeSecondaryText(QString(), 11, this);
    m_footer->setObjectName("sectionFooter");
    m_footer->hide();
    layout->addWidget(m_footer);
}

void FormSection::setHeader(const QString& text) {
    m_header->setText(text);
    m_header->setVisible(!text.isEmpty());
}

void FormSection::setFooter(const QString& text) {
    m_footer->setText(text);
    m_footer->setVisible(!text.isEmpty());
}

QString FormSection::headerText() const { return m_header->text(); }
QString FormSection::footerText() const { return m_footer->text(); }
bool FormSection::hasFooter() const { return !m_footer->isHidden(); }

QLabel* FormSection::makeRowLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(monoFont(13));
    return label;
}

QLabel* FormSection::makeSecondaryText(const QString& text, double points, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(monoFont(points));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, secondaryColor(pal));
    label->setPalette(pal);
    return label;
}

QHBoxLayout* FormSection::makeComboRow(QLabel*& label, QComboBox*& combo, QWidget* parent) {
    auto* row = new QHBoxLayout;
    label = makeRowLabel(QString(), parent);
    row->addWidget(label);
    row->addStretch(1);
    combo = new QComboBox(parent);
    combo->setFont(monoFont(13));
    row->addWidget(combo);
    return row;
}

}  // namespace vandrel

#include "FormSection.moc"
