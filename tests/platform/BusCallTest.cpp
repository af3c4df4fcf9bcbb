// The one way we ask a D-Bus peer, against a real bus with the stand-in logind as the peer that answers,
// stalls and leaves.
#include "platform/dbus/BusCall.h"

#include <gtest/gtest.h>

#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <chrono>
#include <vector>

#include "platform/LogindWorld.h"

using namespace vandrel;
using namespace std::chrono_literals;
using dbus::BusCall;
using test::spinFor;
using test::spinUntil;

TEST(BusCall, EveryCallIsAnsweredOnceOnTheMainLoopWithinItsBoundAndNeverToAReceiverThatWent) {
    test::LogindWorld world;
    auto bus = QDBusConnection::connectToBus(world.address, "calls");
    const auto inhibit = [] {
        auto call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                   "org.freedesktop.login1.Manager", "Inhibit");
        call << QString("sleep") << QString("test") << QString("test") << QString("delay");
        return call;
    };
    QObject receiver;
    std::vector<BusCall::Answer> answers;
    const auto record = [&](const BusCall::Answer& answer) { answers.push_back(answer); };

    // The peer's reply, never from inside ask().
    BusCall::ask(bus, inhibit(), 2000ms, &receiver, record);
    EXPECT_TRUE(answers.empty());
    ASSERT_TRUE(spinUntil([&] { return answers.size() == 1; }));
    EXPECT_TRUE(answers[0].ok());
    EXPECT_TRUE(answers[0].argument().value<QDBusUnixFileDescriptor>().isValid());

    // A stalled peer: "unanswered" once the bound ran out.
    world.signal(SIGSTOP);
    QElapsedTimer elapsed;
    elapsed.start();
    BusCall::ask(bus, inhibit(), 300ms, &receiver, record);
    ASSERT_TRUE(spinUntil([&] { return answers.size() == 2; }, 3000));
    EXPECT_GE(elapsed.elapsed(), 250);
    EXPECT_TRUE(answers[1].unanswered());

    // A receiver that went before its answer gets none; a later call's answer comes after it would have.
    {
        QObject gone;
        BusCall::ask(bus, inhibit(), 20000ms, &gone,
                     [](const BusCall::Answer&) { ADD_FAILURE() << "a receiver that went was answered"; });
    }
    // A peer that leaves while asked: its going is the answer, long before the bound (an error of the bus's
    // own, whether the bus had passed the call on by then or not).
    BusCall::ask(bus, inhibit(), 20000ms, &receiver, record);
    elapsed.restart();
    world.logind.kill();
    ASSERT_TRUE(spinUntil([&] { return answers.size() == 3; }, 10000));
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_FALSE(answers[2].ok());

    // No connection at all: answered the same way.
    BusCall::ask(QDBusConnection("no such connection"), inhibit(), 1000ms, &receiver, record);
    EXPECT_EQ(answers.size(), 3u);
    ASSERT_TRUE(spinUntil([&] { return answers.size() == 4; }));
    EXPECT_TRUE(answers[3].unanswered());
    spinFor(300);
    EXPECT_EQ(answers.size(), 4u);
    QDBusConnection::disconnectFromBus("calls");
}
