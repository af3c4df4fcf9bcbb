#include "settings/PageColumn.h"

#include <QFrame>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

namespace vandrel {

QVBoxLayout* makePageColumn(QWidget* page, int spacing, bool alwaysShowScrollBar) {
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    if (alwaysShowScrollBar) scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    outer->addWidget(scroll);
    auto* column = new QWidget(scroll);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(spacing);
    scroll->setWidget(column);
    return layout;
}

}  // namespace vandrel
