#include "settings/SettingsText.h"

#include "base/LocalizationManager.h"

namespace vandrel {

QString SettingsText::localized(const std::string& key) const {
    return QString::fromStdString(bundle()->localizedString(key));
}

QString SettingsText::localizedFormat(const std::string& key, const std::vector<std::string>& args) const {
    return QString::fromStdString(formatPlaceholders(bundle()->localizedString(key), args));
}

std::shared_ptr<const Bundle> SettingsText::bundle() const {
    return m_mainBundle ? m_localization.mainBundle() : m_localization.bundle();
}

}  // namespace vandrel
