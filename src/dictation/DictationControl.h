#pragma once

#include <functional>

#include "base/Published.h"
#include "dictation/RecordingState.h"

namespace vandrel {

// What the hotkey manager (and the shell's Escape handling) may do with the dictation: the part of the
// dictation state they drive. Each operation may finish later; `done` runs on the main thread when it
// has (also when it did nothing).
class DictationControl {
public:
    virtual ~DictationControl() = default;
    virtual Published<RecordingState>& recordingStateProperty() = 0;
    RecordingState currentRecordingState() { return recordingStateProperty().get(); }
    // Idle with a model loaded.
    virtual bool isReady() const = 0;
    virtual void startRecording(std::function<void()> done = nullptr) = 0;
    virtual void stopRecording(std::function<void()> done = nullptr) = 0;
    virtual void toggleRecording(std::function<void()> done = nullptr) = 0;
    virtual void cancelRecording(std::function<void()> done = nullptr) = 0;
};

}  // namespace vandrel
