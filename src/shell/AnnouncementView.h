#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "base/Signal.h"
#include "shell/Announcement.h"

class QLabel;

namespace vandrel {

class HighlightRow;
class PillButton;

// The what's-new page: the application's icon, the announcement's title block, one row per highlight and
// two buttons. Escape dismisses, Return runs the primary action; closing the window and what follows are
// the host's. Its texts follow the interface language.
class AnnouncementView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 480;

    AnnouncementView(Announcement announcement, std::function<void()> onPrimary, std::function<void()> onDismiss,
                     QWidget* parent = nullptr);

    PillButton* dismissButton() const { return m_dismiss; }
    PillButton* primaryButton() const { return m_primary; }
    const std::vector<HighlightRow*>& rows() const { return m_rows; }
    QString titleText() const;
    // Always kWidth wide; as tall as the wrapped texts need.
    QSize sizeHint() const override;

private:
    void retranslate();

    Announcement m_announcement;
    std::function<void()> m_onPrimary;
    std::function<void()> m_onDismiss;
    QLabel* m_eyebrow;
    QLabel* m_title;
    QLabel* m_description;
    std::vector<HighlightRow*> m_rows;
    PillButton* m_dismiss;
    PillButton* m_primary;
    Connection m_languageConnection;
};

}  // namespace vandrel
