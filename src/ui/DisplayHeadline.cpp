#include "ui/DisplayHeadline.h"

#include "ui/Fonts.h"

namespace vandrel {

DisplayHeadline::DisplayHeadline(const QString& text, double size, QWidget* parent) : WrappingText(parent) {
    setTextFont(monoFont(size, QFont::Bold));
    setText(text);
}

void DisplayHeadline::setText(const QString& text) { setRuns({{text, Emphasis::primary, std::nullopt}}); }

}  // namespace vandrel
