#pragma once

#include <QLineEdit>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/LocalEventMonitor.h"
#include "base/Signal.h"

class QMenu;
class QLabel;

namespace vandrel::KeyboardShortcuts {

// The field in which the user sets the key combination of one name. It records while it has the
// focus (given by a click, Tab or a call, never by a window opening), takes the next acceptable
// combination, refuses combinations an application menu or another program already uses, clears on
// Delete/Backspace or its clear button, and stores the result. While it records, the global
// shortcuts are paused and the keyboard is grabbed so that desktop combinations reach it.
class RecorderCocoa : public QLineEdit {
    Q_OBJECT

public:
    using OnChange = std::function<void(const std::optional<Shortcut>&)>;

    explicit RecorderCocoa(Name name, OnChange onChange = {}, QWidget* parent = nullptr);
    ~RecorderCocoa() override;

    const Name& shortcutName() const { return m_shortcutName; }
    void setShortcutName(const Name& name);
    bool isRecording() const { return m_eventMonitor != nullptr; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The menu whose key equivalents recorded shortcuts must not collide with (the status menu).
    static void setApplicationMenu(QMenu* menu);

    struct Alert {
        std::string message;
        std::string informativeText;
        std::vector<std::string> buttons;  // empty: one localised "ok"
    };
    // Shows an alert and returns the index of the chosen button. The default is a warning message
    // box; tests replace it.
    using AlertPresenter = std::function<int(QWidget* parent, const Alert& alert)>;
    static void setAlertPresenter(AlertPresenter presenter);

    static constexpr int kMinimumWidth = 130;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshText();
    bool startRecording();
    void endRecording();
    void blur();
    void refocus();
    bool handleEvent(QObject* receiver, QEvent* event);
    bool handleKey(QKeyEvent* event);
    void textChangedByUser(const QString& text);
    int presentAlert(const Alert& alert);

    OnChange m_onChange;
    Name m_shortcutName;
    std::unique_ptr<LocalEventMonitor> m_eventMonitor;
    Connection m_shortcutsNameChangeObserver;
    Connection m_languageObserver;
    bool m_settingText = false;
};

// The recorder with an optional text label in front of it, as settings and onboarding embed it.
class Recorder : public QWidget {
    Q_OBJECT

public:
    Recorder(const Name& name, const QString& label = {}, RecorderCocoa::OnChange onChange = {},
             QWidget* parent = nullptr);
    RecorderCocoa* field() const { return m_field; }
    QLabel* label() const { return m_label; }

private:
    RecorderCocoa* m_field;
    QLabel* m_label = nullptr;
};

}  // namespace vandrel::KeyboardShortcuts
