#include "shell/MessageBoxTexts.h"

#include <QCoreApplication>
#include <cstring>

#include "base/LocalizationManager.h"

namespace vandrel {

MessageBoxTexts::MessageBoxTexts() { QCoreApplication::installTranslator(this); }

MessageBoxTexts::~MessageBoxTexts() { QCoreApplication::removeTranslator(this); }

QString MessageBoxTexts::translate(const char* context, const char* sourceText, const char*, int) const {
    if (!context || !sourceText || std::strcmp(context, "QMessageBox") != 0) return {};
    // Only texts our tables carry; anything else stays Qt's.
    const auto bundle = LocalizationManager::shared().bundle();
    if (!bundle->hasKey(sourceText)) return {};
    return QString::fromStdString(bundle->localizedString(sourceText));
}

}  // namespace vandrel
