#include "dictation/OutputService.h"

#include <cmath>
#include <utility>

#include "base/LocalizationManager.h"
#include "base/PasteTiming.h"
#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"

namespace vandrel {

OutputService::OutputService(std::shared_ptr<Pasteboard> pasteboard, std::shared_ptr<KeyInjector> injector,
                             std::shared_ptr<Pasteboard> primarySelection)
    : m_pasteboard(std::move(pasteboard)), m_injector(std::move(injector)), m_primary(std::move(primarySelection)) {}

OutputService::~OutputService() = default;

bool OutputService::restoreClipboardEnabled() const { return UserDefaults::standard().get(kRestoreClipboard); }

double OutputService::clipboardRestoreDelay() const {
    const double stored = UserDefaults::standard().get(kClipboardRestoreDelay);
    if (!std::isfinite(stored) || stored <= 0.0 || stored > maximumRestoreDelay) return defaultRestoreDelay;
    return stored;
}

void OutputService::snapshotPasteboard(Pasteboard& pasteboard, std::function<void(PasteboardSnapshot)> done) {
    pasteboard.readContents(std::move(done));
}

void OutputService::restorePasteboard(const PasteboardSnapshot& snapshot, Pasteboard& pasteboard) {
    if (snapshot.empty()) return;
    pasteboard.writeContents(snapshot);
}

void OutputService::pasteText(const std::string& text, std::function<void(PasteResult)> done) {
    pasteTiming::stamp("text");
    const PasteKeystroke keystroke =
        m_injector && m_injector->isTrusted() ? m_injector->pasteKeystroke() : PasteKeystroke::controlV;
    const bool viaPrimary = keystroke == PasteKeystroke::shiftInsert && m_primary;
    if (!restoreClipboardEnabled()) {
        m_prepared.reset();
        m_pending.reset();
        m_pendingPrimary.reset();
        writeAndSend(text, keystroke, {{}, viaPrimary ? std::optional(PasteboardSnapshot{}) : std::nullopt},
                     std::move(done));
        return;
    }
    clipboardSnapshot(m_life.guard([this, text, keystroke, viaPrimary,
                                    done = std::move(done)](PasteboardSnapshot clipboard) mutable {
        if (!viaPrimary) {
            writeAndSend(text, keystroke, {std::move(clipboard), std::nullopt}, std::move(done));
            return;
        }
        snapshotBefore(*m_primary, m_pendingPrimary,
                       m_life.guard([this, text, keystroke, clipboard = std::move(clipboard),
                                     done = std::move(done)](PasteboardSnapshot primary) mutable {
                           writeAndSend(text, keystroke, {std::move(clipboard), std::move(primary)}, std::move(done));
                       }));
    }));
}

void OutputService::prepareSnapshot() {
    if (m_prepared && m_prepared->waiting) return;  // a paste is waiting for that read
    // A read begun earlier in this dictation still serves while nothing was copied since.
    if (preparedIsCurrent() && restoreClipboardEnabled()) return;
    m_prepared.reset();
    // While an earlier paste waits to restore, the paste's own snapshot comes from that one instead.
    if (!restoreClipboardEnabled() || m_pending) return;
    const auto count = m_pasteboard->changeCount();
    if (!count) return;  // a change in the meantime could not be told
    const auto id = ++m_preparedReads;
    m_prepared = Prepared{id, *count, std::nullopt, nullptr};
    m_pasteboard->readContents(m_life.guard([this, id](PasteboardSnapshot snapshot) {
        if (!m_prepared || m_prepared->id != id) return;
        if (m_prepared->waiting) {
            auto next = std::move(m_prepared->waiting);
            m_prepared.reset();
            next(std::move(snapshot));
            return;
        }
        m_prepared->snapshot = std::move(snapshot);
    }));
}

bool OutputService::preparedIsCurrent() {
    return m_prepared && !m_pending && m_pasteboard->changeCount() == m_prepared->changeCount;
}

void OutputService::clipboardSnapshot(std::function<void(PasteboardSnapshot)> next) {
    if (preparedIsCurrent()) {
        if (!m_prepared->snapshot) {
            m_prepared->waiting = std::move(next);
            return;
        }
        auto snapshot = std::move(*m_prepared->snapshot);
        m_prepared.reset();
        next(std::move(snapshot));
        return;
    }
    // Someone copied since the read began: what they copied is what comes back.
    m_prepared.reset();
    snapshotBefore(*m_pasteboard, m_pending, std::move(next));
}

void OutputService::snapshotBefore(Pasteboard& board, std::optional<PendingRestore>& pending,
                                   std::function<void(PasteboardSnapshot)> next) {
    // While an earlier paste still waits to restore, the board holds that paste's text, not the
    // user's: a fresh snapshot would make the user's own contents unrecoverable. Carry the earlier
    // snapshot over instead, as long as nobody copied something else in the meantime.
    if (pending) {
        auto earlier = std::move(*pending);
        pending.reset();
        if (board.plainText() == earlier.pastedText) {
            next(std::move(earlier.snapshot));
            return;
        }
    }
    snapshotPasteboard(board, std::move(next));
}

void OutputService::writeAndSend(const std::string& text, PasteKeystroke keystroke, Snapshots snapshots,
                                 std::function<void(PasteResult)> done) {
    m_pasteboard->setPlainText(text);
    const bool viaPrimary = snapshots.primary.has_value();
    if (viaPrimary) m_primary->setPlainText(text);
    pasteTiming::stamp("clipboard");
    runAfter(seconds(pasteDelay), m_life.guard([this, text, keystroke, viaPrimary, snapshots = std::move(snapshots),
                                                done = std::move(done)]() mutable {
        auto sent = m_life.guard([this, text, viaPrimary, snapshots = std::move(snapshots),
                                  done = std::move(done)](bool posted) mutable {
            pasteTiming::stamp("sent");
            pasteTiming::finish();
            PasteResult result;
            result.keystrokeSent = posted;
            if (!posted) {
                // Restoring now would take the only copy of the text away from a user who has to
                // paste it by hand.
                result.failureMessage = localized(
                    "Could not paste: the keystroke cannot be sent in this session. The text is on the clipboard; paste it with Ctrl+V.");
            } else if (restoreClipboardEnabled()) {
                scheduleRestore(m_pending, *m_pasteboard, std::move(snapshots.clipboard), text);
                if (viaPrimary) scheduleRestore(m_pendingPrimary, *m_primary, std::move(*snapshots.primary), text);
            }
            if (done) done(std::move(result));
        });
        pasteTiming::stamp("send");
        postCommandV(std::move(sent), keystroke);
    }));
}

void OutputService::postCommandV(std::function<void(bool posted)> done, PasteKeystroke keystroke) {
    if (!m_injector || !m_injector->isTrusted()) {
        if (done) done(false);
        return;
    }
    m_injector->sendPaste(keystroke, std::move(done));
}

void OutputService::scheduleRestore(std::optional<PendingRestore>& pending, Pasteboard& board,
                                    PasteboardSnapshot snapshot, const std::string& text) {
    pending.reset();
    if (snapshot.empty()) return;
    PendingRestore restore{std::move(snapshot), text, {}};
    restore.timer = MainLoop::current().singleShot(
        seconds(clipboardRestoreDelay()), m_life.guard([&pending, &board] { runRestoreRule(pending, board); }));
    pending = std::move(restore);
}

void OutputService::runRestoreRule(std::optional<PendingRestore>& pending, Pasteboard& board) {
    if (!pending) return;
    auto restore = std::move(*pending);
    pending.reset();
    // Only put the old contents back while the board still holds what we pasted: anything else was
    // copied (or selected) by the user after us and is theirs.
    if (board.plainText() == restore.pastedText) restorePasteboard(restore.snapshot, board);
}

}  // namespace vandrel
