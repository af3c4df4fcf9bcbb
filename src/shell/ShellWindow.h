#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

class QLabel;

namespace vandrel {

// A top-level window of the shell around one view. It tells its owner when it is about to close, by
// whatever path: its own code, the window manager's close button or a keyboard shortcut of the desktop.
class ShellWindow : public QWidget {
    Q_OBJECT
public:
    explicit ShellWindow(std::unique_ptr<QWidget> content);
    QWidget* content() const { return m_content; }
    // A window the user may not close (the onboarding) asks the window manager for no title-bar buttons,
    // moves when dragged by its background, and answers the window manager's close requests with
    // `refusedCloseNotice` (a string key) inside the window; it still closes when the program closes it.
    void setUserClosable(bool closable, std::string refusedCloseNotice = {});
    // Looks the notice up again, for a change of the interface language.
    void refreshTexts();
    // Shown and not minimised: what the bookkeeping counts as an open window.
    bool isShown() const { return isVisible() && !isMinimized(); }
    // The in-window answer to a refused close request; hidden until the first one.
    QLabel* refusedCloseLabel() const { return m_notice; }

Q_SIGNALS:
    void closing(vandrel::ShellWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void askForNoTitleBarButtons();

    QWidget* m_content;
    QLabel* m_notice = nullptr;
    std::string m_noticeKey;
    bool m_userClosable = true;
    std::optional<QPointF> m_pressedAt;
};

}  // namespace vandrel
