#include "settings/AvailableLexiconRow.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cmath>

#include "settings/LexiconDetails.h"
#include "ui/BrandCard.h"
#include "ui/BrandGradientButtonStyle.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
    return label;
}

}  // namespace

AvailableLexiconRow::AvailableLexiconRow(const SettingsText& text, const QLocale& locale, LexiconDescriptor descriptor,
                                         std::optional<double> installProgress, bool supportsUserLanguages,
                                         std::function<void()> onGet, QWidget* parent)
    : QWidget(parent), m_descriptor(std::move(descriptor)) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* card = new BrandCard(14, this);
    outer->addWidget(card);
    auto* layout = card->contentLayout();
    layout->setSpacing(10);

    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(new BrandIconTile(LexiconDetails::domainIcon(m_descriptor.domain), 32, card), 0, Qt::AlignTop);
    auto* stack = new QVBoxLayout;
    stack->setSpacing(6);
    stack->addWidget(textLabel(text.localized(LexiconDescriptor::domainTitleKey(m_descriptor.domain)),
                               monoFont(15, QFont::DemiBold), primaryColor(palette()), card));
    m_details = new LexiconDetails(text, locale, m_descriptor, supportsUserLanguages, card);
    stack->addWidget(m_details);
    top->addLayout(stack, 1);
    layout->addLayout(top);

    auto* divider = new QFrame(card);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    QPalette hairline = divider->palette();
    hairline.setColor(QPalette::WindowText, primaryColor(hairline, 0.12));
    divider->setPalette(hairline);
    layout->addWidget(divider);

    m_progressBlock = new QWidget(card);
    auto* progress = new QVBoxLayout(m_progressBlock);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->setSpacing(6);
    auto* barRow = new QHBoxLayout;
    barRow->setSpacing(10);
    m_bar = new QProgressBar(m_progressBlock);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setMaximumHeight(6);
    QPalette barPal = m_bar->palette();
    barPal.setColor(QPalette::Highlight, brandIndigoColor());
    m_bar->setPalette(barPal);
    barRow->addWidget(m_bar, 1);
    m_percent = textLabel(QString(), monoFont(11), secondaryColor(palette()), m_progressBlock);
    m_percent->setFixedWidth(44);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    barRow->addWidget(m_percent);
    progress->addLayout(barRow);
    progress->addWidget(
        textLabel(text.localized("lexicons.installing"), monoFont(11), secondaryColor(palette()), m_progressBlock));
    layout->addWidget(m_progressBlock);

    m_getRow = new QWidget(card);
    auto* getRow = new QHBoxLayout(m_getRow);
    getRow->setContentsMargins(0, 0, 0, 0);
    getRow->setSpacing(12);
    const QColor green = systemColor(SystemColor::green, palette());
    auto* price = new QHBoxLayout;
    price->setSpacing(5);
    auto* tag = new QLabel(m_getRow);
    tag->setPixmap(symbol(QStringLiteral("tag.fill"), 10, green));
    price->addWidget(tag);
    price->addWidget(
        textLabel(text.localized("lexicons.price.free_limited"), monoFont(11, QFont::Medium), green, m_getRow));
    getRow->addLayout(price);
    getRow->addStretch(1);
    m_get = new BrandGradientButtonStyle(text.localized("lexicons.action.get"), m_getRow);
    connect(m_get, &QPushButton::clicked, this, [onGet = std::move(onGet)] {
        if (onGet) onGet();
    });
    getRow->addWidget(m_get);
    layout->addWidget(m_getRow);

    setInstallProgress(installProgress);
}

void AvailableLexiconRow::setInstallProgress(std::optional<double> progress) {
    m_progressBlock->setVisible(progress.has_value());
    m_getRow->setVisible(!progress.has_value());
    if (progress) {
        m_bar->setValue(static_cast<int>(std::clamp(*progress, 0.0, 1.0) * 1000));
        m_percent->setText(QString::number(static_cast<int>(std::trunc(*progress * 100))) + QLatin1Char('%'));
    }
}

bool AvailableLexiconRow::showsProgress() const { return !m_progressBlock->isHidden(); }
QString AvailableLexiconRow::percentText() const { return m_percent->text(); }

}  // namespace vandrel
