#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "shell/StatusMenuModel.h"

class QFont;
class QMenu;
class QSystemTrayIcon;

namespace vandrel {

// The tray icon and its menu. The menu is rebuilt from `input()` every time it is about to open;
// choosing an item calls `onAction` with the item's action and represented object.
class StatusTray : public QObject {
    Q_OBJECT

public:
    using InputFn = std::function<StatusMenuInput()>;
    using ActionFn = std::function<void(StatusMenuAction, const std::string& representedObject)>;

    StatusTray(InputFn input, ActionFn onAction, QObject* parent = nullptr);
    ~StatusTray() override;

    void setIcon(const StatusIcon& icon);
    void rebuildMenu();
    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    const StatusIcon& icon() const { return m_icon; }

    // Whether a desktop panel can show the icon now (a StatusNotifierItem host, or an X11 tray).
    static bool hostAvailable();

    // Menu texts are shown literally: "&" would otherwise mark a mnemonic.
    static QString literalMenuText(const std::string& text);
    // The same, cut with an ellipsis to a readable width: a model-load error carries the whole URL
    // and the download library's message, which would stretch the menu across the screen.
    static QString elidedMenuText(const std::string& text, const QFont& font);
    static constexpr int maxMenuTextCharacters = 64;

private:
    void fill(QMenu* menu, const std::vector<StatusMenuItem>& items);

    InputFn m_input;
    ActionFn m_onAction;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray;
    StatusIcon m_icon;
};

}  // namespace vandrel
