#pragma once

#include <QPointer>

#include "shell/UpdaterService.h"

class QMessageBox;

namespace vandrel {

// The update check's windows: plain message boxes, never modal to the rest of the application.
class QtUpdateUserDriver : public UpdateUserDriver {
public:
    ~QtUpdateUserDriver() override;
    void showUpToDate(const std::string& currentVersion, std::function<void()> done) override;
    void showUpdateAvailable(const AppcastItem& update, const std::string& currentVersion,
                             std::function<void()> done) override;
    void showError(const std::string& message, std::function<void()> done) override;
    void bringToFront() override;

private:
    void show(QMessageBox* box, std::function<void()> done);
    QPointer<QMessageBox> m_box;
};

}  // namespace vandrel
