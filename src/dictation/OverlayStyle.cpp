#include "dictation/OverlayStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace vandrel::overlay {

QColor toQColor(Color color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.opacity));
}

QColor primaryColor(double opacity) {
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, static_cast<float>(0.85 * opacity));
}

QColor secondaryColor(double opacity) {
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, static_cast<float>(0.5 * opacity));
}

QFont bodyFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(13);
    font.setWeight(QFont::Medium);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    return font;
}

QFont calloutFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(12);
    // Set explicitly: a painter on the overlay would otherwise inherit the body font's weight and tracking.
    font.setWeight(QFont::Normal);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.0);
    return font;
}

QFont elapsedFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    return font;
}

}  // namespace vandrel::overlay
