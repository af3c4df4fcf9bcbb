#include "ui/AccentHeadline.h"

#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

AccentHeadline::AccentHeadline(const QString& lead, const QString& accent, double size, QWidget* parent)
    : WrappingText(parent) {
    setTextFont(monoFont(size, QFont::Bold));
    setTexts(lead, accent);
}

void AccentHeadline::setTexts(const QString& lead, const QString& accent) {
    setRuns({{lead, Emphasis::primary, std::nullopt}, {accent, Emphasis::primary, brandIndigoColor()}});
}

}  // namespace vandrel
