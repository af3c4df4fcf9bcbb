#pragma once

#include <functional>
#include <vector>

#include "dictation/Permissions.h"

namespace vandrel::test {

// Grants as a test sets them. The microphone answer is given at once, or held until `answerMicrophone`
// when `holdMicrophone` is set (like the sound server answering later).
class FakePermissions : public Permissions {
public:
    bool microphone = true;
    Accessibility accessibilityState = Accessibility::granted;
    bool holdMicrophone = false;
    bool trayHost = true;
    KeyboardDevices keyboards = KeyboardDevices::notNeeded;
    int microphoneChecks = 0;
    std::vector<std::function<void(bool)>> pending;

    void checkMicrophone(std::function<void(bool granted)> done) override {
        ++microphoneChecks;
        if (holdMicrophone)
            pending.push_back(std::move(done));
        else
            done(microphone);
    }
    Accessibility accessibility() const override { return accessibilityState; }
    bool trayHostAvailable() const override { return trayHost; }
    KeyboardDevices keyboardDevices() const override { return keyboards; }
    void answerMicrophone() {
        auto waiting = std::move(pending);
        pending.clear();
        for (auto& done : waiting) done(microphone);
    }
};

}  // namespace vandrel::test
