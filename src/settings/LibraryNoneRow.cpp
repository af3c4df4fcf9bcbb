#include "settings/LibraryNoneRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "settings/FormSection.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/StatusChip.h"

namespace vandrel {

LibraryNoneRow::LibraryNoneRow(const SettingsText& text, bool isActive, std::function<void()> onTap, QWidget* parent)
    : LexiconCardRow(isActive, std::move(onTap), parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(14);
    row->addWidget(makeRadioMark(), 0, Qt::AlignTop);
    auto* stack = new QVBoxLayout;
    stack->setSpacing(4);
    auto* title = new QLabel(text.localized("lexicons.none.title"), this);
    title->setTextFormat(Qt::PlainText);
    title->setFont(monoFont(15, QFont::DemiBold));
    stack->addWidget(title);
    auto* body = FormSection::makeSecondaryText(text.localized("lexicons.none.body"), 13, this);
    stack->addWidget(body);
    row->addLayout(stack, 1);
    if (isActive)
        row->addWidget(new StatusChip(text.localized("Active"), StatusChip::Tone::active, this), 0, Qt::AlignTop);
    cardLayout()->addLayout(row);
}

}  // namespace vandrel
