#include "base/Signal.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace vandrel;

TEST(Signal, DeliversToConnectedSlotsInOrderAndStopsWhenConnectionDies) {
    Signal<int> s;
    std::vector<std::string> calls;
    auto a = s.connect([&](int v) { calls.push_back("a" + std::to_string(v)); });
    {
        auto b = s.connect([&](int v) { calls.push_back("b" + std::to_string(v)); });
        s.emit(1);
    }
    s.emit(2);
    a.disconnect();
    s.emit(3);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "a2"}));
    EXPECT_EQ(s.slotCount(), 0u);
}

TEST(Signal, SlotsMayDisconnectOthersAndConnectDuringEmission) {
    Signal<> s;
    int bCalls = 0, lateCalls = 0;
    Connection b, late;
    auto a = s.connect([&] {
        b.disconnect();  // b comes after a and must not run in this emission
        if (!late.connected()) late = s.connect([&] { ++lateCalls; });
    });
    b = s.connect([&] { ++bCalls; });
    s.emit();
    EXPECT_EQ(bCalls, 0);
    EXPECT_EQ(lateCalls, 0);  // connected during the emission: first called on the next one
    s.emit();
    EXPECT_EQ(lateCalls, 1);
}

TEST(Signal, ConnectionOutlivingTheSignalIsHarmless) {
    Connection c;
    {
        Signal<> s;
        c = s.connect([] {});
    }
    c.disconnect();
    SUCCEED();
}

TEST(Signal, MovedConnectionKeepsTheSubscription) {
    Signal<> s;
    int n = 0;
    Connection outer;
    {
        Connection inner = s.connect([&] { ++n; });
        outer = std::move(inner);
    }
    s.emit();
    EXPECT_EQ(n, 1);
}
