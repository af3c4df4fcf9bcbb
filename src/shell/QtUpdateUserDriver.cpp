#include "shell/QtUpdateUserDriver.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "base/LocalizationManager.h"

namespace vandrel {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QtUpdateUserDriver::~QtUpdateUserDriver() {
    if (m_box) m_box->deleteLater();
}

void QtUpdateUserDriver::show(QMessageBox* box, std::function<void()> done) {
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    // setTextFormat covers only the main text; the informative text (the feed's version, the error)
    // sits in a label of its own that would otherwise guess rich text, follow links and load images.
    for (auto* label : box->findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done)](int) { done(); });
    m_box = box;
    box->show();
    bringToFront();
}

void QtUpdateUserDriver::showUpToDate(const std::string& currentVersion, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Information, q(localized("Software Update")),
                                q(localized("You're up to date!")), QMessageBox::Ok);
    box->setInformativeText(
        q(localizedFormat("Vandrel %@ is currently the newest version available.", {currentVersion})));
    show(box, std::move(done));
}

void QtUpdateUserDriver::showUpdateAvailable(const AppcastItem& update, const std::string& currentVersion,
                                             std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Information, q(localized("Software Update")),
                                q(localized("A new version of Vandrel is available!")));
    box->setInformativeText(
        q(localizedFormat("Vandrel %@ is now available—you have %@.", {update.shortVersion, currentVersion})));
    if (!update.releaseNotes.empty()) box->setDetailedText(q(update.releaseNotes));
    QPushButton* download = nullptr;
    if (!update.downloadPage.empty())
        download = box->addButton(q(localized("Open Download Page")), QMessageBox::AcceptRole);
    box->addButton(q(localized("Remind Me Later")), QMessageBox::RejectRole);
    const auto page = QUrl(q(update.downloadPage));
    QObject::connect(box, &QMessageBox::buttonClicked, box, [download, page](QAbstractButton* b) {
        if (download && b == download) QDesktopServices::openUrl(page);
    });
    show(box, std::move(done));
}

void QtUpdateUserDriver::showError(const std::string& message, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Warning, q(localized("Software Update")), q(localized("Update Error!")),
                                QMessageBox::Ok);
    box->setInformativeText(q(message));
    show(box, std::move(done));
}

void QtUpdateUserDriver::bringToFront() {
    if (!m_box) return;
    m_box->raise();
    m_box->activateWindow();
}

}  // namespace vandrel
