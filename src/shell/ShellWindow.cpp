#include "shell/ShellWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>
#include <xcb/xcb.h>

#include "base/LocalizationManager.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"

namespace vandrel {

namespace {

// The Motif window-manager hints (the layout every X11 window manager reads).
struct MotifWmHints {
    std::uint32_t flags, functions, decorations, inputMode, status;
};
constexpr std::uint32_t kHintsFunctions = 1, kHintsDecorations = 2;
constexpr std::uint32_t kFunctionMove = 4;
constexpr std::uint32_t kDecorationBorder = 2;

}  // namespace

ShellWindow::ShellWindow(std::unique_ptr<QWidget> content) : QWidget(nullptr, Qt::Window), m_content(content.get()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content.release());
    // Closed windows are gone: a window that is asked for again is built anew.
    setAttribute(Qt::WA_DeleteOnClose);
}

void ShellWindow::setUserClosable(bool closable, std::string refusedCloseNotice) {
    m_userClosable = closable;
    m_noticeKey = std::move(refusedCloseNotice);
    if (m_notice || m_noticeKey.empty()) return;
    m_notice = new QLabel(this);
    m_notice->setObjectName("refusedCloseNotice");
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setFont(monoFont(12));
    m_notice->setContentsMargins(16, 8, 16, 8);
    m_notice->setAutoFillBackground(true);
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::Window, brandIndigoColor(0.12));
    m_notice->setPalette(palette);
    m_notice->hide();
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_notice);
    refreshTexts();
}

void ShellWindow::refreshTexts() {
    if (m_notice) m_notice->setText(QString::fromStdString(localized(m_noticeKey)));
}

void ShellWindow::closeEvent(QCloseEvent* event) {
    if (!m_userClosable && event->spontaneous()) {
        // A title-bar button or Alt+F4 that seems to do nothing looks broken: say once why the window stays.
        if (m_notice) m_notice->show();
        event->ignore();
        return;
    }
    event->accept();
    Q_EMIT closing(this);
}

void ShellWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_userClosable) askForNoTitleBarButtons();
}

void ShellWindow::mousePressEvent(QMouseEvent* event) {
    // Without a title bar the window is moved by its background: a press no control took, then a drag.
    // The move starts only once the pointer travels, since the window manager takes the pointer then and
    // a plain click must still reach what was clicked (a language chip takes its tap on release).
    m_pressedAt = (!m_userClosable && event->button() == Qt::LeftButton)
                      ? std::optional<QPointF>(event->globalPosition())
                      : std::nullopt;
    QWidget::mousePressEvent(event);
}

void ShellWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressedAt && (event->buttons() & Qt::LeftButton) &&
        (event->globalPosition() - *m_pressedAt).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressedAt.reset();
        if (windowHandle() && windowHandle()->startSystemMove()) return;
    }
    QWidget::mouseMoveEvent(event);
}

void ShellWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_pressedAt.reset();
    QWidget::mouseReleaseEvent(event);
}

void ShellWindow::askForNoTitleBarButtons() {
    // Qt asks only for fewer functions, which some window managers (Openbox) ignore for their buttons while
    // honouring decorations only as a whole. A border without a title bar is what every one of them
    // draws without buttons; the window is moved by its background instead. Set before the window is
    // mapped, since a window manager reads the hints when it frames the window.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* connection = x11->connection();
    static constexpr char name[] = "_MOTIF_WM_HINTS";
    auto cookie = xcb_intern_atom(connection, 0, sizeof(name) - 1, name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply) return;
    const xcb_atom_t atom = reply->atom;
    free(reply);
    const MotifWmHints hints{kHintsFunctions | kHintsDecorations, kFunctionMove, kDecorationBorder, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(winId()), atom, atom, 32, 5,
                        &hints);
    xcb_flush(connection);
}

}  // namespace vandrel
