#pragma once

#include <QAbstractButton>
#include <string>

namespace vandrel {

// A what's-new button: its label on a rounded rectangle, in the accent colour when primary, a quiet
// fill otherwise. The label is a string-table key, looked up in the current language.
class PillButton : public QAbstractButton {
    Q_OBJECT
public:
    PillButton(std::string labelKey, bool isPrimary, QWidget* parent = nullptr);
    const std::string& labelKey() const { return m_labelKey; }
    bool isPrimary() const { return m_isPrimary; }
    void retranslate();
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string m_labelKey;
    bool m_isPrimary;
};

}  // namespace vandrel
