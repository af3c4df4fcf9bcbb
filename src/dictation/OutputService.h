#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/LifeToken.h"
#include "base/MainLoop.h"
#include "dictation/KeyInjector.h"
#include "dictation/Pasteboard.h"

namespace vandrel {

struct PasteResult {
    // The keystroke went out. When false the text is left on the clipboard for the user to paste.
    bool keystrokeSent = false;
    // Why nothing was pasted, localised; set when keystrokeSent is false.
    std::optional<std::string> failureMessage;
};

// Puts dictated text into the focused application through the clipboard and a paste keystroke, and
// afterwards puts the user's earlier clipboard back. A terminal of the xterm family pastes the
// PRIMARY selection instead; for one of those the text goes there too, and PRIMARY is put back the
// same way. Main thread only.
class OutputService {
public:
    static constexpr double defaultRestoreDelay = 2.0;
    static constexpr double pasteDelay = 0.05;
    // Restore delays above this are not a setting anyone chose; they count as the default.
    static constexpr double maximumRestoreDelay = 600.0;

    // `primarySelection` may be null: a terminal that pastes PRIMARY then gets whatever it holds.
    OutputService(std::shared_ptr<Pasteboard> pasteboard, std::shared_ptr<KeyInjector> injector,
                  std::shared_ptr<Pasteboard> primarySelection = nullptr);
    ~OutputService();
    OutputService(const OutputService&) = delete;
    OutputService& operator=(const OutputService&) = delete;

    bool restoreClipboardEnabled() const;
    // The stored delay in seconds, or the default when it is absent, not a finite number, not greater
    // than 0 or above maximumRestoreDelay.
    double clipboardRestoreDelay() const;

    // Puts `text` on the clipboard (and PRIMARY, for a terminal that pastes that), waits pasteDelay,
    // sends the keystroke the focused window understands and calls `done` on the main thread; the
    // restore happens later on its own.
    void pasteText(const std::string& text, std::function<void(PasteResult)> done);
    // A paste may be coming (a dictation is being recorded or transcribed): reads the user's clipboard now,
    // so that the paste need not wait for it. The paste uses this read only while the clipboard stays
    // unchanged; a read that is still current is kept, one that is not is started again.
    void prepareSnapshot();
    // The paste is not coming after all.
    void dropPreparedSnapshot() { m_prepared.reset(); }

    static void snapshotPasteboard(Pasteboard& pasteboard, std::function<void(PasteboardSnapshot)> done);
    static void restorePasteboard(const PasteboardSnapshot& snapshot, Pasteboard& pasteboard);
    void postCommandV(std::function<void(bool posted)> done, PasteKeystroke keystroke = PasteKeystroke::controlV);

    Pasteboard& pasteboard() { return *m_pasteboard; }
    bool hasPendingRestore() const { return m_pending.has_value() || m_pendingPrimary.has_value(); }

private:
    struct PendingRestore {
        PasteboardSnapshot snapshot;
        std::string pastedText;
        Timer timer;
    };
    struct Snapshots {
        PasteboardSnapshot clipboard;
        std::optional<PasteboardSnapshot> primary;  // set when the text goes to PRIMARY too
    };
    // The user's contents of `board` before this paste: carried over from `pending` while the board
    // still holds that paste's text, else read now.
    void snapshotBefore(Pasteboard& board, std::optional<PendingRestore>& pending,
                        std::function<void(PasteboardSnapshot)> next);
    // The read ahead is still the clipboard as it is, and no earlier paste waits to restore.
    bool preparedIsCurrent();
    // The clipboard's snapshot for a paste: the prepared one while still current, else snapshotBefore.
    void clipboardSnapshot(std::function<void(PasteboardSnapshot)> next);
    void writeAndSend(const std::string& text, PasteKeystroke keystroke, Snapshots snapshots,
                      std::function<void(PasteResult)> done);
    void scheduleRestore(std::optional<PendingRestore>& pending, Pasteboard& board, PasteboardSnapshot snapshot,
                         const std::string& text);
    static void runRestoreRule(std::optional<PendingRestore>& pending, Pasteboard& board);

    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<KeyInjector> m_injector;
    std::shared_ptr<Pasteboard> m_primary;
    std::optional<PendingRestore> m_pending;
    struct Prepared {
        std::uint64_t id = 0;
        std::uint64_t changeCount = 0;                    // the clipboard's when the read began
        std::optional<PasteboardSnapshot> snapshot;       // none while the read runs
        std::function<void(PasteboardSnapshot)> waiting;  // a paste that needs it when it arrives
    };
    std::optional<Prepared> m_prepared;
    std::uint64_t m_preparedReads = 0;
    std::optional<PendingRestore> m_pendingPrimary;
    LifeToken m_life;
};

}  // namespace vandrel
