#pragma once

#include "base/Signal.h"

namespace vandrel {

// System sleep and wake, announced on the main thread. The platform watcher emits; the application
// delegate and the dictation state listen. Handlers of willSleep run before the machine suspends.
class SystemPower {
public:
    static SystemPower& shared() {
        static SystemPower power;
        return power;
    }
    Signal<> willSleep;
    Signal<> didWake;
};

}  // namespace vandrel
