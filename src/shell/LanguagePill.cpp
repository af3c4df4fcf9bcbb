#include "shell/LanguagePill.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include "base/LocalizationManager.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
QLabel* label(const QFont& font, const QColor& colour, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}
}  // namespace

LanguagePill::LanguagePill(LanguageAvailability language, QWidget* parent)
    : QWidget(parent), m_language(std::move(language)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 3, 8, 3);
    row->setSpacing(4);
    m_label = label(monoFont(TextStyle::subheadline, QFont::Medium), primaryColor(palette()), this);
    row->addWidget(m_label);
    if (m_language.badgeKey) {
        m_dot = label(monoFont(TextStyle::subheadline), secondaryColor(palette()), this);
        m_badge =
            label(monoFont(TextStyle::subheadline, QFont::DemiBold), systemColor(SystemColor::orange, palette()), this);
        row->addWidget(m_dot);
        row->addWidget(m_badge);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    retranslate();
}

void LanguagePill::retranslate() {
    m_label->setText(QString::fromStdString(localized(m_language.labelKey)));
    if (m_badge) {
        m_dot->setText(QString::fromStdString(localized("·")));
        m_badge->setText(QString::fromStdString(localized(*m_language.badgeKey)));
    }
}

QString LanguagePill::labelText() const { return m_label->text(); }
QString LanguagePill::badgeText() const { return m_badge ? m_dot->text() + " " + m_badge->text() : QString(); }

void LanguagePill::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QPainterPath capsule;
    capsule.addRoundedRect(r, r.height() / 2, r.height() / 2);
    p.fillPath(capsule, quietFillColor(palette()));
}

}  // namespace vandrel
