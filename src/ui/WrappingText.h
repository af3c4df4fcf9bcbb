#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "ui/Colors.h"

#include <optional>
#include <vector>

namespace vandrel {

// Text that takes the width it is offered and wraps onto as many lines as that width needs, growing in
// height (never cut off or elided): the common ground of DisplayHeadline, AccentHeadline and LedeText.
// A word longer than the width breaks between letters. Height follows width (heightForWidth).
class WrappingText : public QWidget {
    Q_OBJECT
public:
    using Emphasis = vandrel::Emphasis;
    // A piece of the text in one colour: a fixed colour, else the palette's text at an emphasis; in the
    // text font's weight unless it names its own.
    struct Run {
        QString text;
        Emphasis emphasis = Emphasis::primary;
        std::optional<QColor> colour;
        std::optional<QFont::Weight> weight = std::nullopt;
    };

    // The widest the size hint asks for; wider texts ask for this width and more lines.
    static constexpr int kIdealMaxWidth = 560;

    explicit WrappingText(QWidget* parent = nullptr);

    void setRuns(std::vector<Run> runs);
    const std::vector<Run>& runs() const { return m_runs; }
    QString text() const;  // the runs joined
    void setTextFont(const QFont& font);
    QFont textFont() const { return m_font; }
    void setAlignment(Qt::Alignment alignment);

    // The number of lines the text takes at `width` (contents margins included in `width`).
    int lineCount(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Laid;
    Laid layoutFor(double textWidth) const;

    std::vector<Run> m_runs;
    QFont m_font;
    Qt::Alignment m_alignment = Qt::AlignLeft;
};

}  // namespace vandrel
