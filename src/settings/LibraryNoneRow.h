#pragma once

#include "settings/LexiconCardRow.h"
#include "settings/SettingsText.h"

namespace vandrel {

// The library's first card: no lexicon.
class LibraryNoneRow : public LexiconCardRow {
    Q_OBJECT
public:
    LibraryNoneRow(const SettingsText& text, bool isActive, std::function<void()> onTap, QWidget* parent);
};

}  // namespace vandrel
