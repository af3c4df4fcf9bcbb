#include "shell/StatusTray.h"

#include <QAction>
#include <QCursor>
#include <QFontMetrics>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTextDocument>

#include "base/Log.h"
#include "ui/Symbols.h"

namespace vandrel {

StatusTray::StatusTray(InputFn input, ActionFn onAction, QObject* parent)
    : QObject(parent),
      m_input(std::move(input)),
      m_onAction(std::move(onAction)),
      m_menu(std::make_unique<QMenu>()),
      m_tray(new QSystemTrayIcon(this)) {
    // Rebuilt at each opening so that it always shows the state of that moment.
    QObject::connect(m_menu.get(), &QMenu::aboutToShow, this, [this] { rebuildMenu(); });
    m_tray->setContextMenu(m_menu.get());
    // A click on the status item opens its menu, whichever button it was.
    QObject::connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && !m_menu->isVisible()) m_menu->popup(QCursor::pos());
    });
    rebuildMenu();
    setIcon({std::string(symbolName("mic.slash")), ""});
    if (!hostAvailable())
        log("StatusBarController",
            "no system tray is available; Vandrel runs without its tray icon, and starting Vandrel again opens "
            "its settings");
    m_tray->show();
}

StatusTray::~StatusTray() { m_tray->setContextMenu(nullptr); }

bool StatusTray::hostAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

QString StatusTray::literalMenuText(const std::string& text) { return QString::fromStdString(text).replace('&', "&&"); }

void StatusTray::setIcon(const StatusIcon& icon) {
    m_icon = icon;
    // The tray's icons keep their own two colours, so that they read on light and dark panels alike.
    m_tray->setIcon(symbolIconAsDrawn(QString::fromStdString(icon.symbol)));
    // Tooltips may be rich text in Qt; ours never are.
    m_tray->setToolTip(QString::fromStdString(icon.tooltip).toHtmlEscaped());
}

void StatusTray::rebuildMenu() {
    m_menu->clear();
    fill(m_menu.get(), buildStatusMenu(m_input()));
}

QString StatusTray::elidedMenuText(const std::string& text, const QFont& font) {
    const QFontMetrics metrics(font);
    const QString full = QString::fromStdString(text);
    // Elided before the "&"s are doubled, so that the measure is the text's own.
    return metrics.elidedText(full, Qt::ElideRight, metrics.averageCharWidth() * maxMenuTextCharacters)
        .replace('&', "&&");
}

void StatusTray::fill(QMenu* menu, const std::vector<StatusMenuItem>& items) {
    // An elided line keeps its whole text in its tooltip.
    menu->setToolTipsVisible(true);
    for (const auto& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        const QString text = elidedMenuText(item.title, menu->font());
        const bool elided = text != literalMenuText(item.title);
        const QString toolTip = elided ? Qt::convertFromPlainText(QString::fromStdString(item.title)) : QString();
        if (!item.submenu.empty()) {
            auto* sub = menu->addMenu(text);
            sub->menuAction()->setToolTip(toolTip);
            fill(sub, item.submenu);
            continue;
        }
        auto* action = menu->addAction(text);
        action->setToolTip(toolTip);
        action->setEnabled(item.enabled);
        if (item.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        if (item.action != StatusMenuAction::none) {
            const auto kind = item.action;
            const auto represented = item.representedObject;
            QObject::connect(action, &QAction::triggered, this, [this, kind, represented] {
                if (m_onAction) m_onAction(kind, represented);
            });
        }
    }
}

}  // namespace vandrel
