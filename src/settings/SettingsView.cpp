#include "settings/SettingsView.h"

#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QVBoxLayout>

#include "base/LocalizationManager.h"
#include "settings/AboutSettingsView.h"
#include "settings/DeveloperSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/LexiconsSettingsView.h"
#include "settings/PermissionsSettingsView.h"
#include "settings/SettingsContext.h"
#include "ui/Fonts.h"
#include "ui/SidebarTileLabelStyle.h"
#include "ui/Symbols.h"

namespace vandrel {

std::string SettingsView::rawValue(TabID tab) {
    switch (tab) {
        case TabID::general:
            return "general";
        case TabID::lexicons:
            return "lexicons";
        case TabID::permissions:
            return "permissions";
        case TabID::developer:
            return "developer";
        case TabID::about:
            return "about";
    }
    return "general";
}

std::optional<SettingsView::TabID> SettingsView::tabID(const std::string& raw) {
    for (TabID tab : {TabID::general, TabID::lexicons, TabID::permissions, TabID::developer, TabID::about})
        if (rawValue(tab) == raw) return tab;
    return std::nullopt;
}

std::vector<SettingsView::SidebarEntry> SettingsView::sidebarEntries(const LocalizationManager& lm) {
    const auto bundle = lm.bundle();
    std::vector<SidebarEntry> entries{
        {TabID::general, bundle->localizedString("General"), std::string(symbolName("gearshape"))},
        {TabID::lexicons, bundle->localizedString("Lexicons"), std::string(symbolName("text.book.closed"))},
        {TabID::permissions, bundle->localizedString("Permissions"), std::string(symbolName("lock.shield"))},
        {TabID::about, bundle->localizedString("About"), std::string(symbolName("info.circle"))},
    };
#ifndef NDEBUG
    entries.push_back({TabID::developer, bundle->localizedString("Developer"), std::string(symbolName("hammer"))});
#endif
    return entries;
}

SettingsView::SettingsView(SettingsContext& context, std::optional<std::string> initialTabID, QWidget* parent)
    : QWidget(parent), m_context(context), m_initialTabID(std::move(initialTabID)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    layout->addWidget(split);

    m_sidebar = new QListWidget(split);
    m_sidebar->setItemDelegate(new SidebarTileLabelStyle(m_sidebar));
    m_sidebar->setFont(monoFont(TextStyle::body));
    m_sidebar->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sidebar->setMinimumWidth(kSidebarMinWidth);
    m_sidebar->setMaximumWidth(kSidebarMaxWidth);
    m_sidebar->setFrameShape(QFrame::NoFrame);

    auto* detail = new QWidget(split);
    m_pageArea = new QVBoxLayout(detail);
    m_pageArea->setContentsMargins(0, 0, 0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarIdealWidth, 1});

    fillSidebar();
    m_sidebar->setCurrentRow(0);
    showSelectedPage();
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row == m_selectedTab) return;
        m_selectedTab = row;
        showSelectedPage();
    });
    // The titles follow the language at once; the pages follow it by themselves.
    m_languageConnection = m_context.localization.changed.connect([this] { fillSidebar(); });
}

SettingsView::~SettingsView() = default;

void SettingsView::fillSidebar() {
    m_entries = sidebarEntries(m_context.localization);
    const QSignalBlocker quiet(m_sidebar);
    if (m_sidebar->count() != static_cast<int>(m_entries.size())) {
        m_sidebar->clear();
        for (std::size_t i = 0; i < m_entries.size(); ++i) m_sidebar->addItem(QString());
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        QListWidgetItem* item = m_sidebar->item(static_cast<int>(i));
        item->setText(QString::fromStdString(m_entries[i].title));
        item->setData(SidebarTileLabelStyle::SymbolNameRole, QString::fromStdString(m_entries[i].symbol));
    }
    m_sidebar->setCurrentRow(m_selectedTab);
}

void SettingsView::setSelectedTab(int position) {
    if (position < 0 || position >= static_cast<int>(m_entries.size())) return;
    m_sidebar->setCurrentRow(position);  // builds the page through the selection signal
}

SettingsView::TabID SettingsView::selectedTabID() const { return m_entries.at(m_selectedTab).tab; }

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_initialTabApplied) return;
    m_initialTabApplied = true;
    const auto tab = m_initialTabID ? tabID(*m_initialTabID) : std::nullopt;
    if (!tab) return;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].tab == *tab) {
            setSelectedTab(static_cast<int>(i));
            return;
        }
    }
}

std::unique_ptr<QWidget> SettingsView::makePage(TabID tab) {
    switch (tab) {
        case TabID::permissions:
            return std::make_unique<PermissionsSettingsView>(m_context);
        case TabID::about:
            return std::make_unique<AboutSettingsView>(m_context);
        case TabID::general:
            return std::make_unique<GeneralSettingsView>(m_context);
        case TabID::lexicons:
            return std::make_unique<LexiconsSettingsView>(m_context);
        case TabID::developer:
            return std::make_unique<DeveloperSettingsView>(m_context);
    }
    return nullptr;
}

void SettingsView::showSelectedPage() {
    if (m_page) {
        m_pageArea->removeWidget(m_page);
        m_page->hide();
        m_page->deleteLater();  // its own work may still be on the stack
    }
    m_page = makePage(selectedTabID()).release();
    m_pageArea->addWidget(m_page);
    if (isVisible()) m_page->show();  // at once, so the page reads its state now, not on a later turn
}

}  // namespace vandrel
