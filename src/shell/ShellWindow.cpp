#include "shell/ShellWindow.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace vandrel {

ShellWindow::ShellWindow(std::unique_ptr<QWidget> content) : QWidget(nullptr, Qt::Window), m_content(content.get()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content.release());
    // Closed windows are gone: a window that is asked for again is built anew.
    setAttribute(Qt::WA_DeleteOnClose);
}

void ShellWindow::closeEvent(QCloseEvent* event) {
    if (!m_userClosable && event->spontaneous()) {
        event->ignore();
        return;
    }
    event->accept();
    Q_EMIT closing(this);
}

}  // namespace vandrel
