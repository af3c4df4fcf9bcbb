#include "ui/Symbols.h"

#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>

#include <cmath>

#include "base/Log.h"
#include "base/Paths.h"

namespace vandrel {

namespace {
struct CacheKey {
    QString name;
    int sizeCenti;
    QRgb rgba;
    int dprCenti;
    bool operator==(const CacheKey&) const = default;
};
size_t qHash(const CacheKey& k, size_t seed = 0) { return qHashMulti(seed, k.name, k.sizeCenti, k.rgba, k.dprCenti); }

QHash<CacheKey, QPixmap>& cache() {
    static QHash<CacheKey, QPixmap> c;
    return c;
}

bool validName(const QString& name) {
    // A name is letters, digits and dots: never a path.
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) return false;
    for (QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.')) return false;
    return true;
}

void reportMissing(const QString& name) {
    static QSet<QString> reported;
    if (reported.contains(name)) return;
    reported.insert(name);
    log("Symbols", "No symbol file for \"" + name.toStdString() + "\"");
}
}  // namespace

std::filesystem::path symbolFile(const QString& name) {
    return Paths::resources() / "icons" / (name.toStdString() + ".svg");
}

bool symbolExists(const QString& name) {
    std::error_code ec;
    return validName(name) && std::filesystem::is_regular_file(symbolFile(name), ec);
}

QPixmap symbol(const QString& name, double size, const QColor& colour, qreal dpr) {
    if (!(size > 0) || !std::isfinite(size) || size > 4096) return {};
    if (!(dpr > 0)) dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    const CacheKey key{name, static_cast<int>(std::lround(size * 100)), colour.rgba(),
                       static_cast<int>(std::lround(dpr * 100))};
    auto& c = cache();
    if (auto it = c.constFind(key); it != c.constEnd()) return *it;

    if (!symbolExists(name)) {
        reportMissing(name);
        return {};
    }
    QSvgRenderer renderer(QString::fromStdString(symbolFile(name).string()));
    if (!renderer.isValid()) {
        reportMissing(name);
        return {};
    }
    const int edge = std::max(1, static_cast<int>(std::ceil(size * dpr)));
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        // Keep the drawing's proportions inside the square.
        QSizeF box = renderer.defaultSize().isEmpty() ? QSizeF(1, 1) : QSizeF(renderer.defaultSize());
        box.scale(edge, edge, Qt::KeepAspectRatio);
        renderer.render(&p, QRectF((edge - box.width()) / 2, (edge - box.height()) / 2, box.width(), box.height()));
        // Only the shape counts: paint the colour through the drawing's coverage.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), colour);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(dpr);
    c.insert(key, pixmap);
    return pixmap;
}

QIcon symbolIcon(const QString& name, double size, const QColor& colour) {
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        QPixmap p = symbol(name, size, colour, dpr);
        if (!p.isNull()) icon.addPixmap(p);
    }
    return icon;
}

QIcon symbolIconAsDrawn(const QString& name) {
    const QString file = QString::fromStdString(symbolFile(name).string());
    if (!symbolExists(name) || !QSvgRenderer(file).isValid()) {
        reportMissing(name);
        return {};
    }
    return QIcon(file);
}

void drawSymbol(QPainter& painter, const QPointF& centre, const QString& name, double size, const QColor& colour) {
    const QPixmap glyph = symbol(name, size, colour, painter.device()->devicePixelRatioF());
    if (glyph.isNull()) return;
    const QSizeF g = glyph.deviceIndependentSize();
    painter.drawPixmap(QPointF(centre.x() - g.width() / 2, centre.y() - g.height() / 2), glyph);
}

}  // namespace vandrel
