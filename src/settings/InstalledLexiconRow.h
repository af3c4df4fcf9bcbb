#pragma once

#include <QLocale>

#include "correction/LexiconCatalog.h"
#include "settings/LexiconCardRow.h"
#include "settings/SettingsText.h"

class QMenu;
class QToolButton;

namespace vandrel {

class LexiconDetails;

// An installed lexicon in the library: a tap anywhere activates it, the minus button or the context menu
// removes it.
class InstalledLexiconRow : public LexiconCardRow {
    Q_OBJECT
public:
    InstalledLexiconRow(const SettingsText& text, const QLocale& locale, LexiconDescriptor descriptor, bool isActive,
                        bool supportsUserLanguages, std::function<void()> onActivate, std::function<void()> onRemove,
                        QWidget* parent);

    const LexiconDescriptor& descriptor() const { return m_descriptor; }
    QToolButton* removeButton() const { return m_remove; }
    LexiconDetails* details() const { return m_details; }
    bool showsActiveChip() const { return m_activeChip != nullptr; }
    // The secondary-click menu, with its one destructive item.
    QMenu* makeContextMenu(QWidget* parent);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const SettingsText& m_text;
    LexiconDescriptor m_descriptor;
    std::function<void()> m_onRemove;
    QToolButton* m_remove;
    QWidget* m_activeChip = nullptr;
    LexiconDetails* m_details;
};

}  // namespace vandrel
