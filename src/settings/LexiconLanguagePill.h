#pragma once

#include <QWidget>

#include "settings/SettingsText.h"

namespace vandrel {

// A lexicon's language on a quiet capsule, with a "beta" chip for lexicons still in beta.
class LexiconLanguagePill : public QWidget {
    Q_OBJECT
public:
    LexiconLanguagePill(const SettingsText& text, const std::string& labelKey, bool showBeta, QWidget* parent);
    QString labelText() const { return m_label; }
    bool showsBeta() const { return m_beta != nullptr; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF capsuleRect() const;

    QString m_label;
    QWidget* m_beta = nullptr;
};

}  // namespace vandrel
