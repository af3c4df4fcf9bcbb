#pragma once

#include "dictation/Pasteboard.h"

namespace vandrel {

// The desktop's CLIPBOARD selection through QClipboard. Needs a QGuiApplication; main thread only.
class QtPasteboard : public Pasteboard {
public:
    // Reading a format from another process blocks until that process has produced it (an image owner
    // encodes every image format on request, seconds each for large images). Once `readBudgetMs` has
    // passed, the remaining formats are left out of the snapshot.
    explicit QtPasteboard(int readBudgetMs = 500) : m_readBudgetMs(readBudgetMs) {}

    void readContents(std::function<void(PasteboardSnapshot)> done) override;
    std::optional<std::string> plainText() override;
    void setPlainText(const std::string& text) override;
    void writeContents(const PasteboardSnapshot& entries) override;

    // X11 selection bookkeeping that a snapshot leaves out: these describe a transfer, not the content.
    static bool isBookkeepingType(const std::string& type);

private:
    int m_readBudgetMs;
};

}  // namespace vandrel
