#pragma once

#include <QPointer>

#include "shell/MessageBoxTexts.h"
#include "shell/UpdaterService.h"

class QMessageBox;

namespace vandrel {

// The update check's windows: plain message boxes, never modal to the rest of the application.
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
    void show(QMessageBox* box, std::function<void()> done);
    QPointer<QMessageBox> m_box;
    MessageBoxTexts m_texts;
};

}  // namespace vandrel
