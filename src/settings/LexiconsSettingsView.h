#pragma once

#include <QWidget>
#include <optional>
#include <set>
#include <string>

#include "base/LifeToken.h"
#include "base/Signal.h"
#include "settings/SettingsText.h"

class QVBoxLayout;

namespace vandrel {

struct SettingsContext;
class AvailableLexiconRow;
class InstalledLexiconRow;
class LibraryNoneRow;

// The "Lexicons" settings page: the installed lexicons (and none) to choose from, the catalogue's others
// to install, and how lexicons work. Choosing only writes "activeDictionary"; the dictation state loads
// the lexicon when the defaults change.
class LexiconsSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit LexiconsSettingsView(SettingsContext& context, QWidget* parent = nullptr);
    ~LexiconsSettingsView() override;

    const std::set<std::string>& activeLanguageCodes() const { return m_activeLanguageCodes; }
    LibraryNoneRow* noneRow() const { return m_noneRow; }
    QList<InstalledLexiconRow*> installedRows() const;
    QList<AvailableLexiconRow*> availableRows() const;
    // Null when every lexicon is installed.
    QWidget* availableSection() const { return m_availableSection; }

    void refresh();

private:
    struct Shape {
        std::set<std::string> installed;
        std::optional<std::string> installingKey;
        std::string active;
        std::set<std::string> languages;
        std::string appLanguage;
        bool operator==(const Shape&) const = default;
    };
    Shape currentShape() const;
    void rebuild();
    std::set<std::string> readLanguageCodes() const;

    SettingsContext& m_context;
    SettingsText m_text;
    std::set<std::string> m_activeLanguageCodes;
    std::optional<Shape> m_builtShape;
    QVBoxLayout* m_sections;
    QWidget* m_header;
    QWidget* m_librarySection = nullptr;
    QWidget* m_availableSection = nullptr;
    QWidget* m_howItWorks = nullptr;
    LibraryNoneRow* m_noneRow = nullptr;
    Connection m_libraryConnection, m_defaultsConnection, m_languageConnection;
    LifeToken m_life;
};

}  // namespace vandrel
