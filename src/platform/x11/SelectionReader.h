#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/LifeToken.h"
#include "dictation/Pasteboard.h"

namespace vandrel {
class SerialExecutor;
}

namespace vandrel::x11 {

// One conversion of the selection as the owner answered it: the X target name and its bytes.
struct SelectionTarget {
    std::string target;
    std::string data;
    bool operator==(const SelectionTarget&) const = default;
};

// Reads every format of a selection (CLIPBOARD unless told otherwise) straight from its owner, on a worker thread with
// an X connection and a window of its own. The owner may be slow (an image program encodes each format on request) or
// may never answer at all; neither must stall the main loop, so the whole read is bounded.
class SelectionReader {
public:
    struct Limits {
        // The whole snapshot; whatever has arrived by then is the snapshot.
        std::chrono::milliseconds overall{2000};
        // Longest silence while waiting for one target's answer or for the next piece of a large one;
        // a target that stays silent that long is left out and the next one is asked for.
        std::chrono::milliseconds perTarget{1500};
    };

    explicit SelectionReader(Limits limits, std::string selection = "CLIPBOARD");
    SelectionReader() : SelectionReader(Limits{}) {}
    // Waits for a read still under way (at most `overall`); its result is dropped.
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    // Snapshot of the selection with the formats as MIME types. `done` runs on the main loop, never
    // before this returns, and not at all once the reader is destroyed.
    void read(std::function<void(PasteboardSnapshot)> done);

    // The blocking work behind read(), on the calling thread: every target the owner lists, in its
    // order, each asked for once, with the bookkeeping ones left out. Empty when nobody owns the
    // selection or no X server is reachable.
    static std::vector<SelectionTarget> readTargets(const Limits& limits, const std::string& selection = "CLIPBOARD");

    // X targets to MIME types, the way Qt names them on the reading side, so that writing a snapshot
    // back through QClipboard offers the same formats again: the text targets become one
    // "text/plain" (UTF-8, taken from the best text target offered), other names pass unchanged.
    // Types without data, repeated types and Qt's "application/x-qt-image" handle are left out.
    static PasteboardSnapshot toSnapshot(const std::vector<SelectionTarget>& targets);

    // Targets that describe a transfer rather than content.
    static bool isBookkeepingTarget(const std::string& target);

private:
    Limits m_limits;
    std::string m_selection;
    LifeToken m_life;
    std::unique_ptr<SerialExecutor> m_worker;
};

}  // namespace vandrel::x11
