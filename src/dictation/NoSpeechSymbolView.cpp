#include "dictation/NoSpeechSymbolView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include "dictation/OverlayStyle.h"

namespace vandrel {

NoSpeechSymbolView::NoSpeechSymbolView(QWidget* parent) : QWidget(parent) {
    // Sized like a symbol in a 20 px title font.
    setFixedSize(22, 20);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void NoSpeechSymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = overlay::secondaryColor();
    const QLineF slash(QPointF(2, 1), QPointF(20, 19));
    // Cut a gap around the slash out of the bars so it reads over them.
    QPainterPath slashPath;
    slashPath.moveTo(slash.p1());
    slashPath.lineTo(slash.p2());
    QPainterPathStroker stroker;
    stroker.setWidth(3.5);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath everything;
    everything.addRect(rect());
    painter.setClipPath(everything.subtracted(stroker.createStroke(slashPath)));
    painter.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap));
    const double mid = height() / 2.0;
    const double heights[] = {5, 10, 16, 10, 5};
    for (int i = 0; i < 5; ++i) {
        double x = 3 + i * 4;
        painter.drawLine(QPointF(x, mid - heights[i] / 2), QPointF(x, mid + heights[i] / 2));
    }
    painter.setClipping(false);
    painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(slash);
}

}  // namespace vandrel
