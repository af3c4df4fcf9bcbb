#pragma once

#include <chrono>
#include <functional>

#include "dictation/DictationControl.h"

namespace vandrel::bench {

// Stamps the moment the manager asks for a recording and stays idle, so that every press asks again.
class StampingDictation : public DictationControl {
public:
    Published<RecordingState> state{RecordingState::idle};
    bool started = false;
    std::chrono::steady_clock::time_point startedAt;

    Published<RecordingState>& recordingStateProperty() override { return state; }
    bool isReady() const override { return true; }
    void startRecording(std::function<void()> done) override {
        startedAt = std::chrono::steady_clock::now();
        started = true;
        if (done) done();
    }
    void stopRecording(std::function<void()> done) override {
        if (done) done();
    }
    void toggleRecording(std::function<void()> done) override {
        if (done) done();
    }
    void cancelRecording(std::function<void()> done) override {
        if (done) done();
    }
};

}  // namespace vandrel::bench
