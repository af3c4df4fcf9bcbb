#pragma once

namespace vandrel {

// Where a dictation stands. Shared by the dictation state, the overlay and the status item.
enum class RecordingState { idle = 0, recording = 1, transcribing = 2 };

}  // namespace vandrel
