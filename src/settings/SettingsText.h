#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace vandrel {

class Bundle;
class LocalizationManager;

// The pages' texts, looked up in the application language's table at the moment they are drawn, so a
// change of language shows at the next refresh.
class SettingsText {
public:
    // `mainBundle`: the application's own table, picked from the system languages, instead of the
    // application language's.
    explicit SettingsText(const LocalizationManager& localization, bool mainBundle = false)
        : m_localization(localization), m_mainBundle(mainBundle) {}

    QString localized(const std::string& key) const;
    // Fills the "%@" placeholders of the looked-up format with `args`, inserted as they are.
    QString localizedFormat(const std::string& key, const std::vector<std::string>& args) const;
    std::shared_ptr<const Bundle> bundle() const;

private:
    const LocalizationManager& m_localization;
    bool m_mainBundle;
};

}  // namespace vandrel
