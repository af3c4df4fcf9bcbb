#pragma once

#include <QTranslator>

namespace vandrel {

// Qt's own texts of a message box (its details button) in the application's language, looked up in our
// string tables when Qt asks. Qt ships no German for them here, so they would read English inside German
// windows. Installed for as long as it lives.
class MessageBoxTexts : public QTranslator {
    Q_OBJECT
public:
    MessageBoxTexts();
    ~MessageBoxTexts() override;

    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override;
    bool isEmpty() const override { return false; }
};

}  // namespace vandrel
