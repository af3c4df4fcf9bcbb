#include "shell/QtUpdateUserDriver.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "base/LocalizationManager.h"

namespace vandrel {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

// A message box sizes itself to its texts and guesses its title's width from a font that is not the
// window manager's, so a long title ("Softwareaktualisierung") comes out elided. Room for the title in
// a bold, larger face plus the title bar's icon and buttons.
void makeRoomForTitle(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    QFont titleFont = box->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + QtUpdateUserDriver::kTitleBarRoom;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}
}  // namespace

QtUpdateUserDriver::QtUpdateUserDriver() = default;

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
    makeRoomForTitle(box);
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

void QtUpdateUserDriver::showError(const std::string& message, const std::string& detail, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Warning, q(localized("Software Update")), q(localized("Update Error!")),
                                QMessageBox::Ok);
    box->setInformativeText(q(message));
    // The cause as the transfer or the feed put it: English and technical, so out of the way until asked for.
    if (!detail.empty()) box->setDetailedText(q(detail));
    show(box, std::move(done));
}

void QtUpdateUserDriver::bringToFront() {
    if (!m_box) return;
    m_box->raise();
    m_box->activateWindow();
}

}  // namespace vandrel
