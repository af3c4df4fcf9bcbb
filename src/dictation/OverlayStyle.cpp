#include "dictation/OverlayStyle.h"

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel::overlay {

// The overlay's glass is always light, so its text is black at the shared emphases, whatever the palette.
QColor primaryColor(double opacity) {
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, static_cast<float>(kPrimaryTextOpacity * opacity));
}

QColor secondaryColor(double opacity) {
    return QColor::fromRgbF(0.0f, 0.0f, 0.0f, static_cast<float>(kSecondaryTextOpacity * opacity));
}

QFont bodyFont() { return systemFont(13, QFont::Medium, 0.3); }

// Weight and tracking set explicitly: a painter on the overlay would otherwise inherit the body font's.
QFont calloutFont() { return systemFont(12, QFont::Normal, 0.0); }

QFont elapsedFont() { return monoFont(13, QFont::DemiBold, 0.5); }

}  // namespace vandrel::overlay
