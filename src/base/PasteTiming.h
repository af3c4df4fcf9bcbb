#pragma once

#include <chrono>
#include <string_view>

namespace vandrel::pasteTiming {

// Where a paste's time goes, for the command latency bench: with VANDREL_PASTE_TIMING set, the steps of each
// paste are stamped with the monotonic clock (steady_clock's, which the other processes on the machine read
// too) and said in one line once its keystroke is out. Unset, every call returns at once. Main thread only.
bool enabled();
// A new dictation's paste may follow: stamps of one that never finished are dropped.
void begin();
// `step` happened now: "name@ms".
void stamp(std::string_view step);
// `step` took from `since` until now: "name=ms".
void span(std::string_view step, std::chrono::steady_clock::time_point since);
// The line "[Platform] paste timing: ..." with every stamp since begin().
void finish();

}  // namespace vandrel::pasteTiming
