#include "base/LifeToken.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace vandrel;

TEST(LifeToken, GuardedCallbacksRunOnlyWhileTheirOwnerLives) {
    int calls = 0;
    std::function<void(int)> later;
    LifeToken::Weak observer;
    {
        auto owner = std::make_unique<LifeToken>();
        later = owner->guard([&](int n) { calls += n; });
        observer = owner->weak();
        later(2);
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(observer.alive());
    }
    later(5);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(observer.alive());

    LifeToken early;
    auto cb = early.guard([&] { ++calls; });
    early.reset();  // what an owner does first in its destructor
    cb();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(early.alive());
}
