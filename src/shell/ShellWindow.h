#pragma once

#include <QWidget>
#include <memory>

namespace vandrel {

// A top-level window of the shell around one view. It tells its owner when it is about to close, by
// whatever path: its own code, the window manager's close button or a keyboard shortcut of the desktop.
class ShellWindow : public QWidget {
    Q_OBJECT
public:
    explicit ShellWindow(std::unique_ptr<QWidget> content);
    QWidget* content() const { return m_content; }
    // A window the user may not close (the onboarding) ignores the window manager's requests; it still
    // closes when the program closes it.
    void setUserClosable(bool closable) { m_userClosable = closable; }
    // Shown and not minimised: what the bookkeeping counts as an open window.
    bool isShown() const { return isVisible() && !isMinimized(); }

Q_SIGNALS:
    void closing(vandrel::ShellWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* m_content;
    bool m_userClosable = true;
};

}  // namespace vandrel
