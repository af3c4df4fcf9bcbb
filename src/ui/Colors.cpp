#include "ui/Colors.h"

#include <algorithm>

namespace vandrel {

namespace {
constexpr double kTertiary = 0.26;

QColor textAt(const QPalette& palette, double opacity) {
    QColor c = palette.color(QPalette::Active, QPalette::WindowText);
    c.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return c;
}
}  // namespace

QColor toQColor(Color color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.opacity));
}

QColor brandIndigoColor(double opacity) { return toQColor(brandIndigo.withOpacity(opacity)); }
QColor brandBlueColor(double opacity) { return toQColor(brandBlue.withOpacity(opacity)); }

QLinearGradient brandGradient(const QRectF& rect) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0.0, brandIndigoColor());
    gradient.setColorAt(1.0, brandBlueColor());
    return gradient;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}

QColor primaryColor(const QPalette& palette, double opacity) { return textAt(palette, kPrimaryTextOpacity * opacity); }
QColor secondaryColor(const QPalette& palette, double opacity) {
    return textAt(palette, kSecondaryTextOpacity * opacity);
}
QColor tertiaryColor(const QPalette& palette, double opacity) { return textAt(palette, kTertiary * opacity); }
QColor emphasisColor(const QPalette& palette, Emphasis emphasis, double opacity) {
    switch (emphasis) {
        case Emphasis::primary:
            return primaryColor(palette, opacity);
        case Emphasis::secondary:
            return secondaryColor(palette, opacity);
        case Emphasis::tertiary:
            return tertiaryColor(palette, opacity);
    }
    return primaryColor(palette, opacity);
}
QColor quietFillColor(const QPalette& palette) { return textAt(palette, kQuietFillOpacity); }

QColor controlBackgroundColor(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Base); }
QColor textBackgroundColor(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Base); }

QColor systemColor(SystemColor which, const QPalette& palette, double opacity) {
    const bool dark = isDark(palette);
    QColor c;
    switch (which) {
        case SystemColor::red:
            c = dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
            break;
        case SystemColor::orange:
            c = dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
            break;
        case SystemColor::green:
            c = dark ? QColor(48, 209, 88) : QColor(40, 167, 69);
            break;
        case SystemColor::blue:
            c = dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
            break;
        case SystemColor::indigo:
            c = dark ? QColor(94, 92, 230) : QColor(88, 86, 214);
            break;
        case SystemColor::gray:
            c = QColor(142, 142, 147);
            break;
    }
    c.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return c;
}

}  // namespace vandrel
