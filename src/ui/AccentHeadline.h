#pragma once

#include "ui/WrappingText.h"

namespace vandrel {

// A headline of two parts run together, `lead` in the primary colour and `accent` in brandIndigo, in the
// monospaced font at `size` points, bold. Nothing is put between the parts: a caller that wants a space
// puts it into one of them. It wraps like DisplayHeadline.
class AccentHeadline : public WrappingText {
    Q_OBJECT
public:
    AccentHeadline(const QString& lead, const QString& accent, double size, QWidget* parent = nullptr);
    void setTexts(const QString& lead, const QString& accent);
};

}  // namespace vandrel
