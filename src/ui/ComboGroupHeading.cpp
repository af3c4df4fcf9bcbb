#include "ui/ComboGroupHeading.h"

#include <QComboBox>
#include <QStandardItemModel>

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {
constexpr int kHeadingRole = Qt::UserRole + 0x4844;  // "HD", clear of the roles callers use
}

void makeComboGroupHeading(QComboBox& combo, int index) {
    auto* model = qobject_cast<QStandardItemModel*>(combo.model());
    QStandardItem* item = model ? model->item(index) : nullptr;
    if (!item) return;
    item->setFlags(Qt::NoItemFlags);
    item->setData(true, kHeadingRole);
    item->setFont(monoFont(11, QFont::DemiBold));
    // The popup draws an item that cannot be chosen in the palette's disabled colours; a brush of our own
    // applies to every colour group, so the heading keeps the colour of the section kickers.
    item->setForeground(brandIndigoColor());
}

bool isComboGroupHeading(const QComboBox& combo, int index) { return combo.itemData(index, kHeadingRole).toBool(); }

}  // namespace vandrel
