// X protocol errors never end the process: a trap collects those of its display, and errors on other
// connections, from any thread, are reported to the thread that caused them.
#include <gtest/gtest.h>

#include <thread>

// After GoogleTest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>

#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/XDisplay.h"

using namespace vandrel::x11;

namespace {

// A window id no client owns: any request on it fails with BadWindow.
constexpr Window kNoSuchWindow = 0x3fffffff;

void causeBadWindow(Display* d) {
    XMapWindow(d, kNoSuchWindow);
    XSync(d, False);
}

class XErrorTrapTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = DisplayConnection::open();
        b = DisplayConnection::open();
        if (!a.valid() || !b.valid()) GTEST_SKIP() << "no X server (run under scripts/with-services.sh)";
        installErrorTrap();
        takeTrappedError();
    }
    DisplayConnection a;
    DisplayConnection b;
};

}  // namespace

TEST_F(XErrorTrapTest, NestedTrapsTakeTheirDisplaysErrorsNewestFirst) {
    ErrorTrap outer(a.get());
    {
        ErrorTrap inner(a.get());
        causeBadWindow(a.get());
        EXPECT_TRUE(inner.sawError(BadWindow));
        EXPECT_EQ(inner.sync().size(), 1u);
    }
    EXPECT_TRUE(outer.sync().empty());
    causeBadWindow(a.get());
    EXPECT_EQ(outer.sync(), std::vector<int>{BadWindow});
    EXPECT_FALSE(takeTrappedError());
}

TEST_F(XErrorTrapTest, ErrorsOnAnotherThreadsDisplayStayOutOfTheTrapAndAreReportedThere) {
    ErrorTrap trap(a.get());
    bool otherThreadSaw = false;
    bool otherThreadSawTwice = true;
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) causeBadWindow(b.get());
        otherThreadSaw = takeTrappedError();
        otherThreadSawTwice = takeTrappedError();
    });
    for (int i = 0; i < 50; ++i) XNoOp(a.get());
    XSync(a.get(), False);
    other.join();
    EXPECT_TRUE(otherThreadSaw);
    EXPECT_FALSE(otherThreadSawTwice);
    EXPECT_TRUE(trap.sync().empty());
    EXPECT_FALSE(takeTrappedError());
}

TEST_F(XErrorTrapTest, WithoutATrapTheErrorIsRememberedOnceAndTheProcessGoesOn) {
    causeBadWindow(b.get());
    EXPECT_TRUE(takeTrappedError());
    EXPECT_FALSE(takeTrappedError());
    // The connection still works after the error.
    XNoOp(b.get());
    EXPECT_EQ(XSync(b.get(), False), 1);
}
