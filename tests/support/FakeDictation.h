#pragma once

#include <functional>

#include "base/MainLoop.h"
#include "dictation/DictationControl.h"

namespace vandrel::test {

// The dictation as the manager sees it: a recording runs until stopped or cancelled; a stop transcribes
// for one second of the main loop's time. It counts what happened and whether the microphone is on.
class FakeDictation : public DictationControl {
public:
    Published<RecordingState> state{RecordingState::idle};
    bool modelLoaded = true;
    bool microphoneOn = false;
    int starts = 0, stops = 0, cancels = 0;
    Timer transcription;

    Published<RecordingState>& recordingStateProperty() override { return state; }
    bool isReady() const override { return state.get() == RecordingState::idle && modelLoaded; }
    void startRecording(std::function<void()> done) override {
        if (isReady()) {
            ++starts;
            microphoneOn = true;
            state.set(RecordingState::recording);
        }
        if (done) done();
    }
    void stopRecording(std::function<void()> done) override {
        if (state.get() == RecordingState::recording) {
            ++stops;
            microphoneOn = false;
            state.set(RecordingState::transcribing);
            transcription = MainLoop::current().singleShot(seconds(1), [this] { state.set(RecordingState::idle); });
        }
        if (done) done();
    }
    void toggleRecording(std::function<void()> done) override {
        if (state.get() == RecordingState::recording)
            stopRecording(done);
        else
            startRecording(done);
    }
    void cancelRecording(std::function<void()> done) override {
        if (state.get() == RecordingState::recording) {
            ++cancels;
            microphoneOn = false;
            state.set(RecordingState::idle);
        }
        if (done) done();
    }
};

}  // namespace vandrel::test
