#include "ui/WarningLine.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Symbols.h"

namespace vandrel {

QWidget* makeWarningLine(QLabel*& textLabel, double points, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const QColor orange = systemColor(SystemColor::orange, row->palette());
    auto* icon = new QLabel(row);
    icon->setPixmap(symbol(QStringLiteral("exclamationmark.triangle.fill"), points, orange));
    layout->addWidget(icon, 0, Qt::AlignTop);
    textLabel = new QLabel(row);
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setWordWrap(true);
    textLabel->setFont(monoFont(points));
    QPalette pal = textLabel->palette();
    pal.setColor(QPalette::WindowText, orange);
    textLabel->setPalette(pal);
    layout->addWidget(textLabel, 1);
    return row;
}

}  // namespace vandrel
