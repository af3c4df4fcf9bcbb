#pragma once

#include <QWidget>
#include <string>

class QLabel;

namespace vandrel {

// One numbered line of instructions: the number in a faint indigo circle, then the wrapping text.
class CompactStep : public QWidget {
    Q_OBJECT

public:
    CompactStep(const std::string& number, const std::string& text, QWidget* parent = nullptr);
    void setText(const std::string& text);
    QString text() const;

private:
    QLabel* m_text;
};

}  // namespace vandrel
