#include "shell/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vandrel {

QPoint centeredOrigin(const QRect& area, const QSize& size) {
    const int w = size.width();
    const int h = size.height();
    const int midX = area.x() + area.width() / 2;
    const int midY = area.y() + area.height() / 2;
    const int x = std::max(area.x(), std::min(area.x() + area.width() - w, midX - w / 2));
    // y grows downwards: the bottom-edge rule wins over the top-edge rule for a window that cannot fit.
    const int y = std::min(area.y() + area.height() - h, std::max(area.y(), midY - h / 2));
    return {x, y};
}

void centerWindowOnMainScreen(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    window.move(centeredOrigin(screen->availableGeometry(), window.frameGeometry().size()));
}

}  // namespace vandrel
