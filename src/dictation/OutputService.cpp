#include "dictation/OutputService.h"

#include <cmath>
#include <utility>

#include "base/LocalizationManager.h"
#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"

namespace vandrel {

OutputService::OutputService(std::shared_ptr<Pasteboard> pasteboard, std::shared_ptr<KeyInjector> injector)
    : m_pasteboard(std::move(pasteboard)), m_injector(std::move(injector)) {}

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
    if (!restoreClipboardEnabled()) {
        m_pending.reset();
        writeAndSend(text, {}, std::move(done));
        return;
    }
    // While an earlier paste still waits to restore, the clipboard holds that paste's text, not the
    // user's: a fresh snapshot would make the user's own contents unrecoverable. Carry the earlier
    // snapshot over instead, as long as nobody copied something else in the meantime.
    if (m_pending) {
        auto pending = std::move(*m_pending);
        m_pending.reset();
        if (m_pasteboard->plainText() == pending.pastedText) {
            writeAndSend(text, std::move(pending.snapshot), std::move(done));
            return;
        }
    }
    std::weak_ptr<int> alive = m_alive;
    snapshotPasteboard(*m_pasteboard, [this, alive, text, done = std::move(done)](PasteboardSnapshot snapshot) mutable {
        if (!alive.lock()) return;
        writeAndSend(text, std::move(snapshot), std::move(done));
    });
}

void OutputService::writeAndSend(const std::string& text, PasteboardSnapshot snapshot,
                                 std::function<void(PasteResult)> done) {
    m_pasteboard->setPlainText(text);
    std::weak_ptr<int> alive = m_alive;
    runAfter(seconds(pasteDelay), [this, alive, text, snapshot = std::move(snapshot),
                                   done = std::move(done)]() mutable {
        if (!alive.lock()) return;
        postCommandV([this, alive, text, snapshot = std::move(snapshot), done = std::move(done)](bool posted) mutable {
            if (!alive.lock()) return;
            PasteResult result;
            result.keystrokeSent = posted;
            if (!posted) {
                // Restoring now would take the only copy of the text away from a user who has to
                // paste it by hand.
                result.failureMessage = localized(
                    "Could not paste: the keystroke cannot be sent in this session. The text is on the clipboard; paste it with Ctrl+V.");
            } else if (restoreClipboardEnabled() && !snapshot.empty()) {
                scheduleRestore(std::move(snapshot), text);
            }
            if (done) done(std::move(result));
        });
    });
}

void OutputService::postCommandV(std::function<void(bool posted)> done) {
    if (!m_injector || !m_injector->isTrusted()) {
        if (done) done(false);
        return;
    }
    m_injector->sendPaste(std::move(done));
}

void OutputService::scheduleRestore(PasteboardSnapshot snapshot, const std::string& text) {
    m_pending.reset();
    PendingRestore pending{std::move(snapshot), text, {}};
    std::weak_ptr<int> alive = m_alive;
    pending.timer = MainLoop::current().singleShot(seconds(clipboardRestoreDelay()), [this, alive] {
        if (alive.lock()) runRestoreRule();
    });
    m_pending = std::move(pending);
}

void OutputService::runRestoreRule() {
    if (!m_pending) return;
    auto pending = std::move(*m_pending);
    m_pending.reset();
    // Only put the old contents back while the clipboard still holds what we pasted: anything else
    // was copied by the user after us and is theirs.
    if (m_pasteboard->plainText() == pending.pastedText) restorePasteboard(pending.snapshot, *m_pasteboard);
}

}  // namespace vandrel
