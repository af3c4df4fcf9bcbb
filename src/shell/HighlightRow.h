#pragma once

#include <QWidget>
#include <vector>

#include "shell/Announcement.h"

class QLabel;

namespace vandrel {

class LanguagePill;

// One row of a what's-new page: a tinted symbol, the title, the text and the language pills, on a quiet
// rounded rectangle.
class HighlightRow : public QWidget {
    Q_OBJECT
public:
    explicit HighlightRow(Highlight highlight, QWidget* parent = nullptr);
    void retranslate();
    QString titleText() const;
    const std::vector<LanguagePill*>& pills() const { return m_pills; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Highlight m_highlight;
    QLabel* m_title;
    QLabel* m_body;
    std::vector<LanguagePill*> m_pills;
};

}  // namespace vandrel
