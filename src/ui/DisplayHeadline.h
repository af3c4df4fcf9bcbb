#pragma once

#include "ui/WrappingText.h"

namespace vandrel {

// A headline: `text` in the monospaced font at `size` points, bold, in the primary colour; it wraps and
// grows in height instead of being cut off.
class DisplayHeadline : public WrappingText {
    Q_OBJECT
public:
    DisplayHeadline(const QString& text, double size, QWidget* parent = nullptr);
    void setText(const QString& text);
};

}  // namespace vandrel
