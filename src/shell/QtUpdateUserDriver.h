#pragma once

#include <QPointer>
#include <functional>

#include "base/Signal.h"

#include "shell/MessageBoxTexts.h"
#include "shell/UpdaterService.h"

class QMessageBox;

namespace vandrel {

// The update check's windows: plain message boxes, never modal to the rest of the application. An open one
// follows a change of the interface language, title and buttons included.
class QtUpdateUserDriver : public UpdateUserDriver {
public:
    // Width kept for the title bar's icon, buttons and margins beside the title's text.
    static constexpr int kTitleBarRoom = 160;

    QtUpdateUserDriver();
    ~QtUpdateUserDriver() override;
    void showUpToDate(const std::string& currentVersion, std::function<void()> done) override;
    void showUpdateAvailable(const AppcastItem& update, const std::string& currentVersion,
                             std::function<void()> done) override;
    void showError(const std::string& message, const std::string& detail, std::function<void()> done) override;
    void bringToFront() override;

private:
    // `retext` gives the box its texts in the current language, now and after each change of it.
    void show(QMessageBox* box, std::function<void()> retext, std::function<void()> done);
    void retext();

    QPointer<QMessageBox> m_box;
    std::function<void()> m_retext;
    QPointer<QWidget> m_titleRoom;  // keeps m_box wide enough for its title
    MessageBoxTexts m_texts;
    Connection m_languageConnection;
};

}  // namespace vandrel
