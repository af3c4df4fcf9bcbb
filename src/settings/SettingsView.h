#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Signal.h"

class QListWidget;
class QVBoxLayout;

namespace vandrel {

class LocalizationManager;
struct SettingsContext;

// The settings window's content: a sidebar of pages on the left, the selected page on the right. Every
// selection builds its page anew, so a page's own state starts afresh each time it is shown.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    enum class TabID { general, lexicons, permissions, developer, about };
    static std::string rawValue(TabID tab);
    // Exactly the five identifiers, case-sensitive; anything else is none.
    static std::optional<TabID> tabID(const std::string& rawValue);

    struct SidebarEntry {
        TabID tab;
        std::string title;  // localised
        std::string symbol;
    };
    // The sidebar's entries with their titles in the current language. The developer page is listed only
    // in debug builds; release builds reach it by its identifier alone.
    static std::vector<SidebarEntry> sidebarEntries(const LocalizationManager& lm);

    static constexpr int kSidebarMinWidth = 200;
    static constexpr int kSidebarIdealWidth = 214;
    static constexpr int kSidebarMaxWidth = 240;

    // `initialTabID` is applied once, when the view is first shown; one that names no listed page is ignored.
    SettingsView(SettingsContext& context, std::optional<std::string> initialTabID, QWidget* parent = nullptr);
    ~SettingsView() override;

    int selectedTab() const { return m_selectedTab; }
    void setSelectedTab(int position);
    TabID selectedTabID() const;
    QWidget* currentPage() const { return m_page; }
    QListWidget* sidebar() const { return m_sidebar; }

    // The page of `tab`, built anew.
    std::unique_ptr<QWidget> makePage(TabID tab);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillSidebar();
    void showSelectedPage();

    SettingsContext& m_context;
    std::optional<std::string> m_initialTabID;
    bool m_initialTabApplied = false;
    int m_selectedTab = 0;
    std::vector<SidebarEntry> m_entries;
    QListWidget* m_sidebar;
    QVBoxLayout* m_pageArea;
    QWidget* m_page = nullptr;
    Connection m_languageConnection;
};

}  // namespace vandrel
