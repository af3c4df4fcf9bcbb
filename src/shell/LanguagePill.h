#pragma once

#include <QWidget>

#include "shell/Announcement.h"

class QLabel;

namespace vandrel {

// A language under a what's-new row: its name and, when it has one, a middle dot and its badge, on a
// quiet capsule.
class LanguagePill : public QWidget {
    Q_OBJECT
public:
    explicit LanguagePill(LanguageAvailability language, QWidget* parent = nullptr);
    void retranslate();
    QString labelText() const;
    // The dot and badge, empty for a pill without a badge.
    QString badgeText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LanguageAvailability m_language;
    QLabel* m_label;
    QLabel* m_dot = nullptr;
    QLabel* m_badge = nullptr;
};

}  // namespace vandrel
