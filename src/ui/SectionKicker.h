#pragma once

#include "ui/KickerLabel.h"

namespace vandrel {

// The kicker that opens a section: a KickerLabel in brandIndigo with 14 points above and 3 below.
class SectionKicker : public KickerLabel {
    Q_OBJECT
public:
    explicit SectionKicker(const QString& text, QWidget* parent = nullptr);
};

}  // namespace vandrel
