#pragma once

#include "ui/WrappingText.h"

namespace vandrel {

// An introductory paragraph: `text` in the monospaced font at 13 points, regular, in the secondary
// colour; it wraps like DisplayHeadline.
class LedeText : public WrappingText {
    Q_OBJECT
public:
    explicit LedeText(const QString& text, QWidget* parent = nullptr);
    void setText(const QString& text);
};

}  // namespace vandrel
