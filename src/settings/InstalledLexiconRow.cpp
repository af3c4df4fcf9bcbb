#include "settings/InstalledLexiconRow.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include "settings/LexiconDetails.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/StatusChip.h"
#include "ui/Symbols.h"

namespace vandrel {

InstalledLexiconRow::InstalledLexiconRow(const SettingsText& text, const QLocale& locale, LexiconDescriptor descriptor,
                                         bool isActive, bool supportsUserLanguages, std::function<void()> onActivate,
                                         std::function<void()> onRemove, QWidget* parent)
    : LexiconCardRow(isActive, std::move(onActivate), parent),
      m_text(text),
      m_descriptor(std::move(descriptor)),
      m_onRemove(std::move(onRemove)) {
    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    row->addWidget(makeRadioMark(), 0, Qt::AlignTop);
    auto* stack = new QVBoxLayout;
    stack->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(10);
    titleRow->addWidget(new BrandIconTile(LexiconDetails::domainIcon(m_descriptor.domain), 32, this));
    auto* title = new QLabel(text.localized(LexiconDescriptor::domainTitleKey(m_descriptor.domain)), this);
    title->setTextFormat(Qt::PlainText);
    title->setFont(monoFont(15, QFont::DemiBold));
    titleRow->addWidget(title);
    if (isActive) {
        m_activeChip = new StatusChip(text.localized("Active"), StatusChip::Tone::active, this);
        titleRow->addWidget(m_activeChip);
    }
    titleRow->addStretch(1);
    m_remove = new QToolButton(this);
    m_remove->setAutoRaise(true);
    m_remove->setIcon(QIcon(symbol(QStringLiteral("minus.circle"), 15, secondaryColor(palette()))));
    m_remove->setIconSize(QSize(15, 15));
    m_remove->setFixedSize(27, 27);
    m_remove->setToolTip(text.localized("lexicons.action.remove"));
    connect(m_remove, &QToolButton::clicked, this, [this] {
        if (m_onRemove) m_onRemove();
    });
    titleRow->addWidget(m_remove);
    stack->addLayout(titleRow);
    m_details = new LexiconDetails(text, locale, m_descriptor, supportsUserLanguages, this);
    stack->addWidget(m_details);
    row->addLayout(stack, 1);
    cardLayout()->addLayout(row);
}

QMenu* InstalledLexiconRow::makeContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    auto* remove = menu->addAction(QIcon(symbol(QStringLiteral("trash"), 13, systemColor(SystemColor::red, palette()))),
                                   m_text.localized("lexicons.action.remove"));
    connect(remove, &QAction::triggered, this, [this] {
        if (m_onRemove) m_onRemove();
    });
    return menu;
}

void InstalledLexiconRow::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

}  // namespace vandrel
