#pragma once

#include "dictation/Pasteboard.h"

namespace vandrel {

// The desktop's CLIPBOARD selection through QClipboard. Needs a QGuiApplication; main thread only.
class QtPasteboard : public Pasteboard {
public:
    void readContents(std::function<void(PasteboardSnapshot)> done) override;
    std::optional<std::string> plainText() override;
    void setPlainText(const std::string& text) override;
    void writeContents(const PasteboardSnapshot& entries) override;

    // X11 selection bookkeeping that a snapshot leaves out: these describe a transfer, not the content.
    static bool isBookkeepingType(const std::string& type);
};

}  // namespace vandrel
