#include "ui/LedeText.h"

#include "ui/Fonts.h"

namespace vandrel {

LedeText::LedeText(const QString& text, QWidget* parent) : WrappingText(parent) {
    setTextFont(monoFont(13));
    setText(text);
}

void LedeText::setText(const QString& text) { setRuns({{text, Emphasis::secondary, std::nullopt}}); }

}  // namespace vandrel
