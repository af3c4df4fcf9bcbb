#include "ui/Fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace vandrel {

namespace {
constexpr const char* kMonospacedFace = "DejaVu Sans Mono";

// QFont takes whole pixel sizes only, and the windows need 9.5 and 10.5; a fractional point size that
// comes out at one pixel per point on the screen's logical resolution gives the same result.
double pointSizeFor(double points) {
    double dpi = 96.0;
    if (auto* screen = QGuiApplication::primaryScreen(); screen && screen->logicalDotsPerInchY() > 0)
        dpi = screen->logicalDotsPerInchY();
    return points * 72.0 / dpi;
}
}  // namespace

QString monospacedFamily() {
    static const QString family = [] {
        if (QFontDatabase::hasFamily(QString::fromLatin1(kMonospacedFace))) return QString::fromLatin1(kMonospacedFace);
        return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    }();
    return family;
}

QFont font(double points, QFont::Weight weight, double tracking, FontDesign design) {
    QFont f = design == FontDesign::monospaced ? QFont(monospacedFamily()) : QGuiApplication::font();
    if (design == FontDesign::monospaced) {
        f.setStyleHint(QFont::Monospace);
        f.setFixedPitch(true);
    }
    if (!(points > 0) || !std::isfinite(points)) points = TextStyle::body;
    f.setPointSizeF(pointSizeFor(points));
    f.setWeight(weight);
    f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    f.setKerning(true);
    return f;
}

}  // namespace vandrel
