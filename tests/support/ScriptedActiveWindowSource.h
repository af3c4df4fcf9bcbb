#pragma once

#include <vector>

#include "dictation/TargetAppTracker.h"

namespace vandrel::test {

// A desktop whose active window the test switches.
class ScriptedActiveWindowSource : public ActiveWindowSource {
public:
    struct Shared {
        std::optional<RunningApplication> active;
        std::function<void(std::optional<RunningApplication>)> onActivated;
        std::vector<std::uint64_t> existingWindows;
        std::vector<RunningApplication> activations;
        bool stopped = false;

        // The window manager activates `app`.
        void switchTo(std::optional<RunningApplication> app) {
            active = app;
            if (onActivated) onActivated(app);
        }
    };

    explicit ScriptedActiveWindowSource(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    std::optional<RunningApplication> activeApplication() override { return m_shared->active; }
    bool start(std::function<void(std::optional<RunningApplication>)> onActivated) override {
        m_shared->onActivated = std::move(onActivated);
        return true;
    }
    void stop() override {
        m_shared->onActivated = nullptr;
        m_shared->stopped = true;
    }
    bool activate(const RunningApplication& app) override {
        for (auto w : m_shared->existingWindows)
            if (w == app.window) {
                m_shared->activations.push_back(app);
                m_shared->active = app;
                return true;
            }
        return false;
    }

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace vandrel::test
