#pragma once

#include <QMetaObject>
#include <memory>

#include "dictation/Pasteboard.h"
#include "platform/x11/SelectionReader.h"

namespace vandrel {

// The desktop's CLIPBOARD selection, or its PRIMARY selection (what was selected last, which the
// xterm family pastes). Needs a QGuiApplication; main thread only.
class QtPasteboard : public Pasteboard {
public:
    enum class Selection { clipboard, primary };

    explicit QtPasteboard(x11::SelectionReader::Limits readLimits = {}, Selection selection = Selection::clipboard);
    ~QtPasteboard() override;

    // Reading from another process goes through an X connection on a worker thread: the owner may take
    // seconds to produce a format (an image program encodes each image format on request) and the main
    // loop must not wait for it. What we own ourselves is read in-process: our own main thread is the
    // one that would have to answer.
    void readContents(std::function<void(PasteboardSnapshot)> done) override;
    std::optional<std::string> plainText() override;
    void setPlainText(const std::string& text) override;
    // Served from this process by QClipboard until someone else takes the clipboard.
    void writeContents(const PasteboardSnapshot& entries) override;
    // Counted from Qt's change notices; on X11 only with XFixes, without which Qt hears of no other
    // program's copy.
    std::optional<std::uint64_t> changeCount() override;

    // X11 selection bookkeeping that a snapshot leaves out: these describe a transfer, not the content.
    static bool isBookkeepingType(const std::string& type);

private:
    bool ownedHere() const;

    Selection m_selection;
    std::unique_ptr<x11::SelectionReader> m_reader;
    std::uint64_t m_changes = 0;
    QMetaObject::Connection m_changed;
};

}  // namespace vandrel
