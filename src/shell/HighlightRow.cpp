#include "shell/HighlightRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "shell/LanguagePill.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {
SystemColor systemColorOf(HighlightTint tint) {
    switch (tint) {
        case HighlightTint::indigo:
            return SystemColor::indigo;
        case HighlightTint::blue:
            return SystemColor::blue;
        case HighlightTint::green:
            return SystemColor::green;
        case HighlightTint::red:
            return SystemColor::red;
    }
    return SystemColor::blue;
}
}  // namespace

HighlightRow::HighlightRow(Highlight highlight, QWidget* parent) : QWidget(parent), m_highlight(std::move(highlight)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(14);

    auto* icon = new QLabel(this);
    icon->setFixedSize(32, 32);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(symbol(QString::fromStdString(m_highlight.symbol), 22,
                           systemColor(systemColorOf(m_highlight.tint), palette())));
    auto* iconColumn = new QVBoxLayout;
    iconColumn->setContentsMargins(0, 2, 0, 0);
    iconColumn->addWidget(icon);
    iconColumn->addStretch(1);
    row->addLayout(iconColumn);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(monoFont(TextStyle::title3, QFont::DemiBold));
    m_body = new QLabel(this);
    m_body->setTextFormat(Qt::PlainText);
    m_body->setWordWrap(true);
    m_body->setFont(monoFont(TextStyle::callout));
    QPalette secondary = m_body->palette();
    secondary.setColor(QPalette::WindowText, secondaryColor(palette()));
    m_body->setPalette(secondary);
    texts->addWidget(m_title);
    texts->addWidget(m_body);
    auto* pills = new QHBoxLayout;  // present, empty, when the row has no languages
    pills->setContentsMargins(0, 2, 0, 0);
    pills->setSpacing(6);
    for (const auto& language : m_highlight.languages) {
        auto* pill = new LanguagePill(language, this);
        m_pills.push_back(pill);
        pills->addWidget(pill);
    }
    pills->addStretch(1);
    texts->addLayout(pills);
    row->addLayout(texts, 1);
    retranslate();
}

void HighlightRow::retranslate() {
    m_title->setText(QString::fromStdString(localized(m_highlight.titleKey)));
    m_body->setText(QString::fromStdString(localized(m_highlight.bodyKey)));
    for (auto* pill : m_pills) pill->retranslate();
}

QString HighlightRow::titleText() const { return m_title->text(); }

void HighlightRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(shape, secondaryColor(palette(), 0.08));
}

}  // namespace vandrel
