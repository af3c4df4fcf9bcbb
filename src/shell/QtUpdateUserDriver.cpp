#include "shell/QtUpdateUserDriver.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
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
int titleRoom(const QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    return QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + QtUpdateUserDriver::kTitleBarRoom;
}
}  // namespace

QtUpdateUserDriver::QtUpdateUserDriver()
    : m_languageConnection(LocalizationManager::shared().changed.connect([this] { retext(); })) {}

QtUpdateUserDriver::~QtUpdateUserDriver() {
    if (m_box) m_box->deleteLater();
}

void QtUpdateUserDriver::show(QMessageBox* box, std::function<void()> retext, std::function<void()> done) {
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::NonModal);
    m_box = box;
    m_retext = std::move(retext);
    m_titleRoom = nullptr;
    this->retext();
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done)](int) { done(); });
    box->show();
    bringToFront();
}

void QtUpdateUserDriver::retext() {
    if (!m_box || !m_retext) return;
    m_retext();
    // Qt's own buttons ("OK", "Show Details...") re-read their texts on a language change.
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(m_box, &change);
    // setTextFormat covers only the main text; the informative text (the feed's version, the error)
    // sits in a label of its own that would otherwise guess rich text, follow links and load images.
    for (auto* label : m_box->findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    // A widget, not a spacer: the box rebuilds its layout with each informative text, deleting the items
    // it holds, while a widget stays the box's and is put back.
    auto* grid = qobject_cast<QGridLayout*>(m_box->layout());
    if (grid) {
        if (!m_titleRoom) m_titleRoom = new QWidget(m_box);
        m_titleRoom->setFixedSize(titleRoom(*m_box), 0);
        if (grid->indexOf(m_titleRoom) < 0) grid->addWidget(m_titleRoom, grid->rowCount(), 0, 1, grid->columnCount());
        // A message box works out its fixed size again whenever its text is set.
        m_box->setText(m_box->text());
    }
}

void QtUpdateUserDriver::showUpToDate(const std::string& currentVersion, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Information, QString(), QString(), QMessageBox::Ok);
    show(
        box,
        [box, currentVersion] {
            box->setWindowTitle(q(localized("Software Update")));
            box->setText(q(localized("You're up to date!")));
            box->setInformativeText(
                q(localizedFormat("Vandrel %@ is currently the newest version available.", {currentVersion})));
        },
        std::move(done));
}

void QtUpdateUserDriver::showUpdateAvailable(const AppcastItem& update, const std::string& currentVersion,
                                             std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Information, QString(), QString());
    if (!update.releaseNotes.empty()) box->setDetailedText(q(update.releaseNotes));
    QPushButton* download = nullptr;
    if (!update.downloadPage.empty()) download = box->addButton(QString(), QMessageBox::AcceptRole);
    QPushButton* later = box->addButton(QString(), QMessageBox::RejectRole);
    const auto page = QUrl(q(update.downloadPage));
    QObject::connect(box, &QMessageBox::buttonClicked, box, [download, page](QAbstractButton* b) {
        if (download && b == download) QDesktopServices::openUrl(page);
    });
    show(
        box,
        [box, download, later, version = update.shortVersion, currentVersion] {
            box->setWindowTitle(q(localized("Software Update")));
            box->setText(q(localized("A new version of Vandrel is available!")));
            box->setInformativeText(
                q(localizedFormat("Vandrel %@ is now available—you have %@.", {version, currentVersion})));
            if (download) download->setText(q(localized("Open Download Page")));
            later->setText(q(localized("Remind Me Later")));
        },
        std::move(done));
}

void QtUpdateUserDriver::showError(const std::string& message, const std::string& detail, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::Warning, QString(), QString(), QMessageBox::Ok);
    // The cause as the transfer or the feed put it: English and technical, so out of the way until asked for.
    if (!detail.empty()) box->setDetailedText(q(detail));
    show(
        box,
        [box, message] {
            box->setWindowTitle(q(localized("Software Update")));
            box->setText(q(localized("Update Error!")));
            box->setInformativeText(q(localized(message)));
        },
        std::move(done));
}

void QtUpdateUserDriver::bringToFront() {
    if (!m_box) return;
    m_box->raise();
    m_box->activateWindow();
}

}  // namespace vandrel
