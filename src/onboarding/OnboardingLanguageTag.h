#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace vandrel {

class SymbolButton;

// The chip of one chosen dictation language in the guide: a star and indigo name for the primary one, an
// optional remove button. A tap anywhere but on the remove button calls onTap; what it means is the
// caller's.
class OnboardingLanguageTag : public QWidget {
    Q_OBJECT

public:
    OnboardingLanguageTag(const QString& name, bool isPrimary, bool canRemove, std::function<void()> onTap,
                          std::function<void()> onRemove, QWidget* parent = nullptr);

    QString name() const { return m_name; }
    bool isPrimary() const { return m_isPrimary; }
    bool canRemove() const { return m_canRemove; }
    SymbolButton* removeButton() const { return m_remove; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString m_name;
    bool m_isPrimary;
    bool m_canRemove;
    std::function<void()> m_onTap;
    SymbolButton* m_remove = nullptr;
};

}  // namespace vandrel
