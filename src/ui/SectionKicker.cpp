#include "ui/SectionKicker.h"

#include "ui/Colors.h"

namespace vandrel {

SectionKicker::SectionKicker(const QString& text, QWidget* parent) : KickerLabel(text, brandIndigoColor(), parent) {
    setContentsMargins(0, 14, 0, 3);
}

}  // namespace vandrel
