#include "platform/portal/RemoteDesktopKeyInjector.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>

#include "app/KeyboardRefusalNotice.h"
#include "base/LocalizationManager.h"
#include "base/Published.h"
#include "base/Signal.h"
#include "base/UserDefaults.h"
#include "dictation/OutputService.h"
#include "platform/ScriptedPortal.h"
#include "platform/portal/HostRegistry.h"
#include "platform/portal/PortalDefaults.h"
#include "support/InMemoryPasteboard.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using portal::RemoteDesktopKeyInjector;

namespace {

const QStringList kControlV{"RemoteDesktop.NotifyKeyboardKeycode 29 1", "RemoteDesktop.NotifyKeyboardKeycode 47 1",
                            "RemoteDesktop.NotifyKeyboardKeycode 47 0", "RemoteDesktop.NotifyKeyboardKeycode 29 0"};

struct RemoteDesktopFixture : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(portal.ready()); }
    std::optional<bool> paste(RemoteDesktopKeyInjector& injector, PasteKeystroke keystroke) {
        std::optional<bool> posted;
        injector.sendPaste(keystroke, [&](bool ok) { posted = ok; });
        test::pumpUntil(world.loop(), [&] { return posted.has_value(); });
        return posted;
    }
    // The next paste asks for a session of its own and goes through whole.
    void expectPasteInANewSession(RemoteDesktopKeyInjector& injector) {
        const int before = static_cast<int>(portal.calls().size());
        EXPECT_EQ(paste(injector, PasteKeystroke::controlV), true);
        EXPECT_EQ(
            portal.callsSince(before, 7),
            QStringList({"RemoteDesktop.CreateSession", "RemoteDesktop.SelectDevices types=1", "RemoteDesktop.Start"}) +
                kControlV);
    }
    std::string storedToken() { return world.defaults().get(portal::kRemoteDesktopRestoreToken); }
    // Waits for an OutputService paste: virtual time only past the paste delay, so that no bound of the
    // injector's runs out while the portal is still answering in real time.
    bool pasted(const std::optional<PasteResult>& result) {
        double advanced = 0;
        return test::pumpUntil(world.loop(), [&] {
            if (advanced < 2 * OutputService::pasteDelay) {
                world.loop().advanceSeconds(0.01);
                advanced += 0.01;
            }
            return result.has_value();
        });
    }

    test::TestWorld world;
    test::ScriptedPortal portal;
};

}  // namespace

TEST_F(RemoteDesktopFixture, ConsentIsAskedOncePerSessionAndAgainOnceTheDesktopEndsIt) {
    {
        RemoteDesktopKeyInjector injector(portal.connect("first"));
        EXPECT_TRUE(injector.isTrusted());
        EXPECT_FALSE(injector.hasConsent());
        EXPECT_EQ(paste(injector, PasteKeystroke::controlV), true);
        EXPECT_TRUE(injector.hasConsent());
        // xdg-desktop-portal 1.16 serves RemoteDesktop version 1: it passes neither the persistence we ask
        // for nor a restore token on, and hands out none, so nothing is stored for the next start.
        EXPECT_EQ(portal.callsSince(0, 7), QStringList({"RemoteDesktop.CreateSession",
                                                        "RemoteDesktop.SelectDevices types=1", "RemoteDesktop.Start"}) +
                                               kControlV);
        EXPECT_EQ(storedToken(), "");

        // The session stays: a terminal's paste goes out without another question.
        const int before = static_cast<int>(portal.calls().size());
        EXPECT_EQ(paste(injector, PasteKeystroke::controlShiftV), true);
        EXPECT_EQ(
            portal.callsSince(before, 6),
            QStringList({"RemoteDesktop.NotifyKeyboardKeycode 29 1", "RemoteDesktop.NotifyKeyboardKeycode 42 1",
                         "RemoteDesktop.NotifyKeyboardKeycode 47 1", "RemoteDesktop.NotifyKeyboardKeycode 47 0",
                         "RemoteDesktop.NotifyKeyboardKeycode 42 0", "RemoteDesktop.NotifyKeyboardKeycode 29 0"}));

        // The desktop ends the session (the user stopped it there): the next paste starts a new one.
        ASSERT_TRUE(portal.send("close-session"));
        ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return !injector.hasSession(); }));
        expectPasteInANewSession(injector);
    }
    // Quitting closes the session on the portal's side.
    EXPECT_TRUE(portal.waitForLine("Session.Close vandrel5"));
}

TEST_F(RemoteDesktopFixture, ARegistrationTheFrontendDoesNotOfferHoldsNoRequestBack) {
    // xdg-desktop-portal 1.16 has no host registry: the registration fails, and the requests that waited
    // behind it go out.
    auto bus = portal.connect("registered");
    portal::HostRegistry::registerApplication(bus, "com.harstow.Vandrel");
    RemoteDesktopKeyInjector injector(bus);
    EXPECT_EQ(paste(injector, PasteKeystroke::controlV), true);
    EXPECT_EQ(portal.callsSince(0, 7), QStringList({"RemoteDesktop.CreateSession",
                                                    "RemoteDesktop.SelectDevices types=1", "RemoteDesktop.Start"}) +
                                           kControlV);
}

// A frontend whose registry refuses the first registrations, as xdg-desktop-portal 1.20 does while it has not
// yet noticed the desktop entry written just before.
class RefusingRegistry : public QDBusVirtualObject {
    Q_OBJECT

public:
    RefusingRegistry(int refusals, QString caller) : m_refusals(refusals), m_caller(std::move(caller)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != portal::HostRegistry::interfaceName) return false;
        if (message.service() == m_caller) ++calls;
        connection.send(m_refusals-- > 0 ? message.createErrorReply("org.freedesktop.portal.Error.Failed",
                                                                    "App info not found for 'com.harstow.Vandrel'")
                                         : message.createReply());
        return true;
    }
    int calls = 0;

private:
    int m_refusals;
    QString m_caller;
};

TEST(HostRegistry, ARefusedRegistrationIsAskedAgainWhileTheRequestsWaitAndAtLastGivenUp) {
    test::ScriptedPortal bus(test::ScriptedPortal::Start::later);
    for (const auto& [name, refusals, calls] : {std::tuple{"refused twice", 2, 3}, {"refused always", 99, 4}}) {
        auto app = bus.connect(name);
        // The connection of the case before takes this frontend for its own started anew: only ours counts.
        RefusingRegistry registry(refusals, app.baseService());
        auto frontend = bus.connect(QString("frontend: ") + name);
        ASSERT_TRUE(frontend.registerVirtualObject("/org/freedesktop/portal/desktop", &registry));
        ASSERT_TRUE(frontend.registerService("org.freedesktop.portal.Desktop"));
        portal::HostRegistry::registerApplication(app, "com.harstow.Vandrel");
        bool settled = false;
        portal::HostRegistry::whenSettled(app, [&] { settled = true; });
        ASSERT_TRUE(test::spinUntil([&] { return registry.calls == 2; }, 5000)) << name;
        EXPECT_FALSE(settled) << name;  // a request behind a refused registration still waits
        ASSERT_TRUE(test::spinUntil([&] { return settled; }, 5000)) << name;
        EXPECT_EQ(registry.calls, calls) << name;
        frontend.unregisterService("org.freedesktop.portal.Desktop");
        frontend.unregisterObject("/org/freedesktop/portal/desktop");
    }
}

TEST_F(RemoteDesktopFixture, RefusedConsentLeavesTheTextOnTheClipboardAndIsNotAskedAgain) {
    ASSERT_TRUE(portal.send("refuse Start"));
    auto injector = std::make_shared<RemoteDesktopKeyInjector>(portal.connect("refused"));
    int refusals = 0;
    auto counted = injector->consentRefused.connect([&] { ++refusals; });
    // What the user reads: each paste's outcome is written to it as the dictation state does.
    Published<std::optional<std::string>> errorMessage;
    KeyboardRefusalNotice notice(injector->consentRefused, errorMessage);
    auto clipboard = std::make_shared<test::InMemoryPasteboard>();
    clipboard->setPlainText("the user's own");
    OutputService output(clipboard, injector);

    std::optional<PasteResult> result;
    output.pasteText("dictated ", [&](PasteResult r) {
        errorMessage.set(r.failureMessage);
        result = r;
    });
    ASSERT_TRUE(pasted(result));
    EXPECT_FALSE(result->keystrokeSent);
    EXPECT_TRUE(result->failureMessage.has_value());
    world.loop().advanceSeconds(5);  // past any restore delay
    EXPECT_EQ(clipboard->plainText(), "dictated ");
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(errorMessage.get(), localized(KeyboardRefusalNotice::text));
    EXPECT_FALSE(injector->isTrusted());
    EXPECT_FALSE(injector->hasConsent());
    EXPECT_EQ(storedToken(), "");

    // The refused session is closed on the portal's side; the next dictation does not ask again, and
    // its text waits on the clipboard too.
    ASSERT_TRUE(portal.waitForLine("Session.Close vandrel1"));
    const int before = static_cast<int>(portal.calls().size());
    result.reset();
    output.pasteText("second ", [&](PasteResult r) {
        errorMessage.set(r.failureMessage);
        result = r;
    });
    ASSERT_TRUE(pasted(result));
    world.loop().advanceSeconds(5);
    EXPECT_EQ(errorMessage.get(), result->failureMessage);
    EXPECT_NE(errorMessage.get(), localized(KeyboardRefusalNotice::text));
    EXPECT_FALSE(result->keystrokeSent);
    EXPECT_EQ(clipboard->plainText(), "second ");
    EXPECT_EQ(portal.callsSince(before), QStringList());
    EXPECT_EQ(refusals, 1);
}

TEST_F(RemoteDesktopFixture, APortalThatLeavesWhileAskingFailsThePasteInsteadOfHangingIt) {
    RemoteDesktopKeyInjector injector(portal.connect("leaving"));
    // The question stays open until the portal leaves the bus.
    ASSERT_TRUE(portal.send("hold Start"));
    std::optional<bool> posted;
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { posted = ok; });
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.Start"));
    ASSERT_TRUE(portal.send("vanish"));
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return posted.has_value(); }));
    EXPECT_EQ(posted, false);
}

namespace {

const QString kKeyLine = "RemoteDesktop.NotifyKeyboardKeycode ";

QStringList keyLines(std::initializer_list<std::pair<int, int>> events) {
    QStringList out;
    for (const auto& [keycode, state] : events) out << kKeyLine + QString("%1 %2").arg(keycode).arg(state);
    return out;
}

// The keys the desktop holds down after `calls`, in press order.
QList<int> keysLeftDown(const QStringList& calls) {
    QList<int> down;
    for (const auto& line : calls) {
        if (!line.startsWith(kKeyLine)) continue;
        const auto words = line.mid(kKeyLine.size()).split(' ');
        const int keycode = words[0].toInt();
        if (words[1] == "1")
            down << keycode;
        else
            down.removeAll(keycode);
    }
    return down;
}

}  // namespace

TEST_F(RemoteDesktopFixture, EveryPressAndReleaseReachesTheDesktopInTheOrderSentOverPastesBackToBack) {
    RemoteDesktopKeyInjector injector(portal.connect("order"));
    ASSERT_EQ(paste(injector, PasteKeystroke::controlV), true);
    const int before = static_cast<int>(portal.callsSince(0, 7).size());
    // Each round asks the next paste while the one before is still going out, as quick dictations do.
    QStringList expected;
    int posted = 0;
    for (int round = 0; round < 4; ++round) {
        for (auto keystroke : {PasteKeystroke::controlV, PasteKeystroke::controlShiftV, PasteKeystroke::shiftInsert})
            injector.sendPaste(keystroke, [&](bool ok) { posted += ok ? 1 : 0; });
        expected << kControlV << keyLines({{29, 1}, {42, 1}, {47, 1}, {47, 0}, {42, 0}, {29, 0}})
                 << keyLines({{42, 1}, {110, 1}, {110, 0}, {42, 0}});
    }
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return posted == 12; }));
    EXPECT_EQ(portal.callsSince(before, static_cast<int>(expected.size())), expected);
}

// The desktop's dialog holds the focus while it asks; the paste that waited for it goes out once its window
// has the focus back, or after a bound when the focus went elsewhere; blind, after the settle time.
TEST_F(RemoteDesktopFixture, APasteThatWaitedForTheQuestionGoesOutOnceItsWindowHasTheFocusBack) {
    const QStringList session{"RemoteDesktop.CreateSession", "RemoteDesktop.SelectDevices types=1",
                              "RemoteDesktop.Start"};
    std::optional<std::uint64_t> focused = 1;
    Signal<> focusChanged;
    const auto watch = [&] {
        return RemoteDesktopKeyInjector::FocusWatch{[&] { return focused; },
                                                    [&](std::function<void()> f) { return focusChanged.connect(f); }};
    };
    const auto askedWhileTheDialogHasTheFocus = [&](RemoteDesktopKeyInjector& injector, std::optional<bool>& posted) {
        const int before = static_cast<int>(portal.calls().size());
        injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { posted = ok; });
        focused = 2;
        focusChanged.emit();
        EXPECT_TRUE(test::pumpUntil(world.loop(), [&] { return injector.hasSession(); }));
        test::pumpUntil(
            world.loop(), [] { return false; }, 200);
        EXPECT_EQ(portal.callsSince(before), session);
        EXPECT_FALSE(posted.has_value());
        return before;
    };
    {
        RemoteDesktopKeyInjector injector(portal.connect("returned"));
        injector.setFocusWatch(watch());
        std::optional<bool> posted;
        const int before = askedWhileTheDialogHasTheFocus(injector, posted);
        focused = 1;
        focusChanged.emit();
        EXPECT_TRUE(test::pumpUntil(world.loop(), [&] { return posted.has_value(); }));
        EXPECT_EQ(portal.callsSince(before, 7), session + kControlV);
    }
    // The session of the injector that went is closed on its way out: not a call of the next one.
    const auto closed = [&](int sessions) {
        return test::spinUntil([&] { return portal.calls().filter("Session.Close").size() == sessions; });
    };
    ASSERT_TRUE(closed(1));
    {
        RemoteDesktopKeyInjector injector(portal.connect("elsewhere"));
        focused = 1;
        injector.setFocusWatch(watch());
        std::optional<bool> posted;
        askedWhileTheDialogHasTheFocus(injector, posted);
        world.loop().advanceSeconds(RemoteDesktopKeyInjector::focusReturnSeconds - 0.05);
        EXPECT_FALSE(posted.has_value());
        world.loop().advanceSeconds(0.1);
        EXPECT_TRUE(test::pumpUntil(world.loop(), [&] { return posted == true; }));
    }
    ASSERT_TRUE(closed(2));
    {
        RemoteDesktopKeyInjector injector(portal.connect("blind"));
        injector.setFocusWatch({[] { return std::optional<std::uint64_t>(); }, {}});
        std::optional<bool> posted;
        injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { posted = ok; });
        EXPECT_TRUE(test::pumpUntil(world.loop(), [&] { return injector.hasSession(); }));
        EXPECT_FALSE(posted.has_value());
        world.loop().advanceSeconds(RemoteDesktopKeyInjector::focusSettleSeconds + 0.01);
        EXPECT_TRUE(test::pumpUntil(world.loop(), [&] { return posted == true; }));
    }
}

TEST_F(RemoteDesktopFixture, APortalThatStopsAnsweringMidKeystrokeFailsThePasteAndLeavesNoKeyDown) {
    RemoteDesktopKeyInjector injector(portal.connect("stuck"));
    ASSERT_EQ(paste(injector, PasteKeystroke::controlV), true);
    int before = static_cast<int>(portal.callsSince(0, 7).size());

    // The portal stops while the keystroke goes out: once the backend has Shift's press. The frontend answers
    // each key before it hands it on, so by then it may have answered the whole keystroke (seen under load):
    // then it is stopped before the next keystroke's first key instead.
    std::optional<bool> first, second;
    ASSERT_TRUE(portal.send("freeze-after-keys 2"));
    injector.sendPaste(PasteKeystroke::controlShiftV, [&](bool ok) { first = ok; });
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.NotifyKeyboardKeycode 42 1"));
    test::pumpUntil(
        world.loop(), [&] { return first.has_value(); }, RemoteDesktopKeyInjector::keyAnswerMs / 2);
    if (first.has_value()) {
        ASSERT_EQ(first, true);
        ASSERT_TRUE(portal.send("thaw"));
        ASSERT_TRUE(test::spinUntil([&] { return portal.callsSince(before).size() >= 6; }));
        before = static_cast<int>(portal.calls().size());
        ASSERT_TRUE(portal.send("freeze"));
        first.reset();
        injector.sendPaste(PasteKeystroke::controlShiftV, [&](bool ok) { first = ok; });
        test::spinFor(RemoteDesktopKeyInjector::keyAnswerMs / 2);
    }
    EXPECT_FALSE(first.has_value());
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return first.has_value(); }));
    EXPECT_EQ(first, false);

    // Asked while the portal is stuck, the next paste waits behind the releases and then goes through whole.
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { second = ok; });
    ASSERT_TRUE(portal.send("thaw"));
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return second.has_value(); }));
    EXPECT_EQ(second, true);
    // The frontend answers before the backend has the call: wait (bounded) for the last paste's release.
    QStringList calls;
    test::spinUntil([&] {
        calls = portal.callsSince(before);
        return calls.size() >= 6 && calls.mid(calls.size() - 4) == kControlV;
    });
    ASSERT_GE(calls.size(), 6);
    // Pressed: Ctrl (when stopped before the first key), Shift and perhaps V, whose answer was the one that
    // never came; each released, in reverse.
    const QStringList failed = calls.mid(0, calls.size() - 4);
    EXPECT_TRUE(failed == keyLines({{29, 1}, {29, 0}}) || failed == keyLines({{29, 1}, {42, 1}, {42, 0}, {29, 0}}) ||
                failed == keyLines({{29, 1}, {42, 1}, {47, 1}, {47, 0}, {42, 0}, {29, 0}}))
        << failed.join(", ").toStdString();
    EXPECT_EQ(calls.mid(calls.size() - 4), kControlV);
    EXPECT_TRUE(keysLeftDown(calls).isEmpty());
}

TEST_F(RemoteDesktopFixture, AFrontendStoppedPastTheKeysBoundMidKeystrokeLeavesNoKeyDownAndTheNextPasteArrives) {
    RemoteDesktopKeyInjector injector(portal.connect("stalled"));
    ASSERT_EQ(paste(injector, PasteKeystroke::controlV), true);
    portal.callsSince(0, 7);

    // Stopped once the backend has Shift's press; a frontend that answered the whole keystroke by then (seen
    // under load) leaves the next keystroke's first key unanswered instead.
    std::optional<bool> stuck, queued;
    ASSERT_TRUE(portal.send("freeze-after-keys 2"));
    injector.sendPaste(PasteKeystroke::controlShiftV, [&](bool ok) { stuck = ok; });
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.NotifyKeyboardKeycode 42 1"));
    QElapsedTimer stopped;
    stopped.start();
    test::pumpUntil(
        world.loop(), [&] { return stuck.has_value(); }, RemoteDesktopKeyInjector::keyAnswerMs / 2);
    if (stuck == true) {
        stuck.reset();
        injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { stuck = ok; });
        stopped.restart();
    }
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return stuck.has_value(); }));
    EXPECT_EQ(stuck, false);
    // A paste asked meanwhile does not wait for the stopped frontend beyond the stuck key's bound.
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { queued = ok; });
    constexpr int kStoppedMs = 6000;
    ASSERT_TRUE(test::pumpUntil(
        world.loop(), [&] { return queued.has_value(); }, kStoppedMs - static_cast<int>(stopped.elapsed())));
    EXPECT_EQ(queued, false);
    EXPECT_FALSE(injector.hasSession());
    test::spinFor(std::max(0, kStoppedMs - static_cast<int>(stopped.elapsed())));

    // Going on, the frontend passes on what it held back, then the end of the session, which releases what
    // the session held.
    ASSERT_TRUE(portal.send("thaw"));
    ASSERT_TRUE(test::spinUntil([&] { return !portal.lastLine("Session.Close").isEmpty(); }));
    expectPasteInANewSession(injector);
    ASSERT_TRUE(portal.send("held"));
    EXPECT_EQ(portal.lastLine("held "), "none");
}

// A portal that hangs at login is replaced (`xdg-desktop-portal --replace`) while the first paste's requests wait
// behind the registration the hung one left unanswered: they go out once it gives up, to the new portal, beside
// those of the next paste's try.
TEST_F(RemoteDesktopFixture, ASessionOpenedForATryThatIsOverIsClosedAndAsksNothing) {
    ASSERT_TRUE(portal.send("standby"));
    ASSERT_TRUE(portal.send("freeze"));
    auto bus = portal.connect("superseded");
    portal::HostRegistry::registerApplication(bus, "com.harstow.Vandrel");
    RemoteDesktopKeyInjector injector(bus);
    std::optional<bool> first, second;
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { first = ok; });
    ASSERT_TRUE(portal.send("take-over"));
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return first.has_value(); }));
    EXPECT_EQ(first, false);

    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { second = ok; });
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return second.has_value(); }));
    EXPECT_EQ(second, true);
    EXPECT_TRUE(portal.waitForLine("Session.Close vandrel1"));
    const auto calls = portal.calls();
    EXPECT_EQ(calls.count("RemoteDesktop.CreateSession"), 2);
    EXPECT_EQ(calls.count("RemoteDesktop.SelectDevices types=1"), 1);
    EXPECT_EQ(calls.count("RemoteDesktop.Start"), 1);
}

TEST_F(RemoteDesktopFixture, ASessionTheDesktopClosesMidKeystrokeNeitherHangsThePasteNorTheNextOne) {
    RemoteDesktopKeyInjector injector(portal.connect("closing"));
    ASSERT_EQ(paste(injector, PasteKeystroke::controlV), true);
    ASSERT_TRUE(portal.send("close-after-keys 1"));
    // Whether the rest of the keystroke still counts depends on which the portal saw first, the end of
    // the session or the next key; either way the answer comes, and nothing is sent to the old session.
    EXPECT_TRUE(paste(injector, PasteKeystroke::controlShiftV).has_value());
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return !injector.hasSession(); }));
    expectPasteInANewSession(injector);
}

TEST_F(RemoteDesktopFixture, AConsentLeftOpenFailsEachPasteAfterItsBoundAndALateGrantServesTheNext) {
    ASSERT_TRUE(portal.send("hold Start"));
    RemoteDesktopKeyInjector injector(portal.connect("open"));
    std::vector<bool> first, second;
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { first.push_back(ok); });
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.Start"));
    world.loop().advanceSeconds(RemoteDesktopKeyInjector::consentAnswerSeconds - 1);
    // A paste asked meanwhile waits for the same question, with a bound of its own.
    injector.sendPaste(PasteKeystroke::controlV, [&](bool ok) { second.push_back(ok); });
    world.loop().advanceSeconds(1.1);
    EXPECT_EQ(first, std::vector<bool>{false});
    EXPECT_TRUE(second.empty());
    world.loop().advanceSeconds(RemoteDesktopKeyInjector::consentAnswerSeconds);
    EXPECT_EQ(second, std::vector<bool>{false});
    // The question stays open on the desktop; no second one is asked.
    EXPECT_EQ(portal.calls().count("RemoteDesktop.Start"), 1);
    EXPECT_TRUE(portal.lastLine("Request.Close").isEmpty());

    ASSERT_TRUE(portal.send("answer Start"));
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return injector.hasSession(); }));
    const int before = static_cast<int>(portal.calls().size());
    EXPECT_EQ(paste(injector, PasteKeystroke::controlV), true);
    EXPECT_EQ(portal.callsSince(before, 4), kControlV);
    EXPECT_EQ(first.size() + second.size(), 2u);  // the given-up pastes are not answered again
}

namespace {

// A paste that fails while the portal misbehaves, and the paste after it, which starts a session of its own.
struct RecoveringFixture : RemoteDesktopFixture {
    std::optional<bool> first;
    void startFirst() {
        injector.sendPaste(PasteKeystroke::controlV, [this](bool ok) { first = ok; });
    }
    bool firstFailed(int ms = 5000) {
        return test::pumpUntil(
                   world.loop(), [&] { return first.has_value(); }, ms) &&
               first == false;
    }
    RemoteDesktopKeyInjector injector{portal.connect("recovering")};
};

}  // namespace

TEST_F(RecoveringFixture, ASessionClosedWhileTheDesktopAsksFailsThePasteAndTheNextPasteAsksAgain) {
    ASSERT_TRUE(portal.send("hold Start"));
    startFirst();
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.Start"));
    ASSERT_TRUE(portal.send("close-session"));
    EXPECT_TRUE(firstFailed());
    // The answer to the closed session's question still comes; it must not count for the new one.
    ASSERT_TRUE(portal.send("grant Start"));
    ASSERT_TRUE(portal.send("answer Start"));
    expectPasteInANewSession(injector);
}

TEST_F(RecoveringFixture, AnAnswerThatNeverComesFailsThePasteWithinItsBoundAndTheNextPasteWorks) {
    // A misspelt command is not taken for done: the portal would otherwise go on as it was.
    EXPECT_FALSE(portal.send("hold-forever CreateSession"));
    ASSERT_TRUE(portal.send("hold CreateSession"));
    startFirst();
    ASSERT_TRUE(portal.waitForLine("RemoteDesktop.CreateSession"));
    world.loop().advanceSeconds(portal::PortalClient::requestAnswerSeconds + 0.1);
    EXPECT_TRUE(firstFailed());
    // The request is taken down on the portal's side.
    EXPECT_TRUE(test::spinUntil([&] { return !portal.lastLine("Request.Close CreateSession").isEmpty(); }));
    ASSERT_TRUE(portal.send("grant CreateSession"));
    expectPasteInANewSession(injector);
}

TEST_F(RecoveringFixture, AStoppedPortalFailsThePasteWithinItsBoundAndARestartedOneServesTheNext) {
    ASSERT_TRUE(portal.send("freeze"));
    startFirst();
    test::spinFor(200);
    EXPECT_FALSE(first.has_value());
    world.loop().advanceSeconds(portal::PortalClient::requestAnswerSeconds + 0.1);
    EXPECT_TRUE(firstFailed(1000));
    // Started again, the portal knows no session of ours: the next paste makes a new one.
    ASSERT_TRUE(portal.send("restart"));
    expectPasteInANewSession(injector);
}

TEST_F(RemoteDesktopFixture, TheTriggersMaskKeyAsksForNoSessionAndGoesOutThroughAGrantedOne) {
    RemoteDesktopKeyInjector injector(portal.connect("mask"));
    std::string whyNot;
    EXPECT_FALSE(injector.sendMaskKey(whyNot));
    EXPECT_EQ(whyNot, "not until the desktop grants the RemoteDesktop keyboard, which the first paste asks for");
    // Another client's paste, asked after it, is all the portal hears: the mask asked the desktop nothing.
    RemoteDesktopKeyInjector other(portal.connect("other"));
    EXPECT_EQ(paste(other, PasteKeystroke::controlV), true);
    EXPECT_EQ(portal.callsSince(0, 7), QStringList({"RemoteDesktop.CreateSession",
                                                    "RemoteDesktop.SelectDevices types=1", "RemoteDesktop.Start"}) +
                                           kControlV);

    EXPECT_EQ(paste(injector, PasteKeystroke::controlV), true);
    const int before = static_cast<int>(portal.callsSince(0, 14).size());
    EXPECT_TRUE(injector.sendMaskKey(whyNot));
    ASSERT_TRUE(test::pumpUntil(world.loop(), [&] { return portal.calls().size() >= before + 2; }));
    EXPECT_EQ(portal.callsSince(before), keyLines({{464, 1}, {464, 0}}));
}

#include "RemoteDesktopKeyInjectorTest.moc"
