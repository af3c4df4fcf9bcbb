// The clipboard, the paste keystroke and the focused toplevel in a real Wayland session (the test
// service's sway headless).
#include <gtest/gtest.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QElapsedTimer>
#include <QFile>
#include <fstream>
#include <random>

#include "base/UserDefaults.h"
#include "dictation/DictationDefaults.h"
#include "dictation/MaskedModifierKeyBackend.h"
#include "dictation/ModifierKeyMonitor.h"
#include "dictation/OutputService.h"
#include "platform/WaylandTestSupport.h"
#include "platform/evdev/EvdevModifierKeyBackend.h"
#include "platform/evdev/KeyboardDevices.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/wayland/DataControlPasteboard.h"
#include "platform/wayland/ForeignToplevelSource.h"
#include "platform/wayland/ToplevelList.h"
#include "platform/wayland/VirtualKeyboardInjector.h"
#include "platform/wayland/WaylandConnection.h"
#include "support/Browser.h"
#include "support/RecordingKeyInjector.h"
#include "support/SyntheticKeyboards.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

using namespace vandrel;
using namespace vandrel::wayland;

namespace {

// Real time on Qt's loop: the compositor, the pipes and the other clients all run in it.
struct WaylandSession : ::testing::Test {
    QtMainLoop loop;
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    test::TempDir runtime;
    std::shared_ptr<WaylandConnection> connection;

    void SetUp() override {
        MainLoop::setCurrent(&loop);
        UserDefaults::setStandard(defaults);
        ASSERT_FALSE(test::waylandSocket().empty()) << "run the tests with scripts/with-services.sh";
        connection = WaylandConnection::open(test::waylandSocket());
        ASSERT_TRUE(connection);
    }
    void TearDown() override {
        connection.reset();
        UserDefaults::setStandard(nullptr);
        MainLoop::setCurrent(nullptr);
    }

    PasteboardSnapshot snapshotOf(Pasteboard& board) {
        std::optional<PasteboardSnapshot> snapshot;
        board.readContents([&](PasteboardSnapshot s) { snapshot = std::move(s); });
        EXPECT_TRUE(test::spinUntil([&] { return snapshot.has_value(); }, 10000));
        return snapshot.value_or(PasteboardSnapshot{});
    }
    QByteArray paste(const QStringList& arguments = {}) {
        return test::runInWayland(runtime, "wl-paste", QStringList{"--no-newline"} + arguments);
    }
};

std::string binaryBytes(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xff);
    bytes[0] = '\0';  // a NUL at the start ends any reader that stops at one
    return bytes;
}

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// Another client that owns the clipboard with one type it answers and one it never answers.
struct SilentOwner {
    std::shared_ptr<WaylandConnection> connection = WaylandConnection::open(test::waylandSocket());
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_source_v1* source = nullptr;
    std::vector<int> heldOpen;

    SilentOwner() {
        static const zwlr_data_control_source_v1_listener listener = {
            .send =
                [](void* data, zwlr_data_control_source_v1*, const char* type, int fd) {
                    if (std::string(type) == "text/plain;charset=utf-8") {
                        (void)!::write(fd, "answered", 8);
                        ::close(fd);
                    } else {
                        static_cast<SilentOwner*>(data)->heldOpen.push_back(fd);
                    }
                },
            .cancelled = [](void*, zwlr_data_control_source_v1*) {},
        };
        device = zwlr_data_control_manager_v1_get_data_device(connection->dataControlManager(), connection->seat());
        source = zwlr_data_control_manager_v1_create_data_source(connection->dataControlManager());
        zwlr_data_control_source_v1_add_listener(source, &listener, this);
        zwlr_data_control_source_v1_offer(source, "image/x-never-sent");
        zwlr_data_control_source_v1_offer(source, "text/plain;charset=utf-8");
        zwlr_data_control_device_v1_set_selection(device, source);
        connection->roundtrip();
    }
    ~SilentOwner() {
        for (int fd : heldOpen) ::close(fd);
        zwlr_data_control_source_v1_destroy(source);
        zwlr_data_control_device_v1_destroy(device);
    }
};

}  // namespace

TEST_F(WaylandSession, AnotherClientsBinaryContentComesBackByteForByteAfterAPaste) {
    const std::string image = binaryBytes(300 * 1024);  // several pipe buffers
    test::WaylandProgram copy(runtime, "wl-copy", {"--foreground", "--type", "image/png"});
    copy.process().write(bytesOf(image));
    copy.process().closeWriteChannel();
    auto board = std::make_shared<DataControlPasteboard>(connection);
    ASSERT_TRUE(board->isAvailable());
    ASSERT_TRUE(test::spinUntil([&] { return paste({"--list-types"}).trimmed() == "image/png"; }, 10000));

    const PasteboardSnapshot before = snapshotOf(*board);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].type, "image/png");
    EXPECT_TRUE(before[0].data == image) << "read " << before[0].data.size() << " of " << image.size() << " bytes";

    defaults->setDouble(kClipboardRestoreDelay.name, 0.3);
    auto keys = std::make_shared<test::RecordingKeyInjector>(board.get());
    OutputService output(board, keys);
    std::optional<PasteResult> result;
    output.pasteText("dictated text ", [&](PasteResult r) { result = r; });
    ASSERT_TRUE(test::spinUntil([&] { return result.has_value(); }, 10000));
    ASSERT_EQ(keys->pastedTexts.size(), 1u);
    EXPECT_EQ(keys->pastedTexts[0], "dictated text ");
    EXPECT_EQ(paste(), "dictated text ");

    ASSERT_TRUE(test::spinUntil([&] { return !output.hasPendingRestore(); }, 5000));
    EXPECT_EQ(paste({"--list-types"}).trimmed(), "image/png");
    EXPECT_TRUE(paste({"--type", "image/png"}) == bytesOf(image));
}

TEST_F(WaylandSession, EveryTypeOfAnotherClientIsReadInItsOrderAndOfferedAgain) {
    auto other = WaylandConnection::open(test::waylandSocket());
    ASSERT_TRUE(other);
    DataControlPasteboard owner(other);
    const PasteboardSnapshot contents = {{"text/html", "<b>ünïcode</b>"},
                                         {"image/png", binaryBytes(70 * 1024)},
                                         {"text/plain;charset=utf-8", "ünïcode"},
                                         {"application/x-empty", ""}};
    owner.writeContents(contents);
    DataControlPasteboard board(connection);
    ASSERT_TRUE(test::spinUntil([&] { return paste().toStdString() == "ünïcode"; }, 10000));

    const PasteboardSnapshot snapshot = snapshotOf(board);
    // A type that yields no bytes is no content.
    EXPECT_EQ(snapshot, PasteboardSnapshot(contents.begin(), contents.end() - 1));

    board.writeContents(snapshot);
    ASSERT_TRUE(test::spinUntil([&] { return !paste({"--list-types"}).contains("x-empty"); }, 5000));
    EXPECT_EQ(paste({"--list-types"}), "text/html\nimage/png\ntext/plain;charset=utf-8\n");
    for (const auto& entry : snapshot)
        EXPECT_TRUE(paste({"--type", QString::fromStdString(entry.type)}) == bytesOf(entry.data)) << entry.type;
    // Both ours now: a snapshot of what we serve needs no pipe.
    EXPECT_EQ(snapshotOf(board), snapshot);
    EXPECT_EQ(snapshotOf(owner), snapshot);
}

TEST_F(WaylandSession, ATypeTheOwnerNeverSendsIsLeftOutAndTheRestStillRead) {
    SilentOwner owner;
    DataControlPasteboard board(connection,
                                ClipboardReadLimits{std::chrono::milliseconds(3000), std::chrono::milliseconds(300)});
    ASSERT_TRUE(test::spinUntil([&] { return paste() == "answered"; }, 10000));
    const PasteboardSnapshot snapshot = snapshotOf(board);
    EXPECT_EQ(snapshot, (PasteboardSnapshot{{"text/plain;charset=utf-8", "answered"}}));
}

TEST_F(WaylandSession, WhatTheUserCopiesAfterThePasteIsNotOverwritten) {
    auto board = std::make_shared<DataControlPasteboard>(connection);
    board->setPlainText("the user's earlier text");
    ASSERT_TRUE(test::spinUntil([&] { return paste() == "the user's earlier text"; }, 10000));
    defaults->setDouble(kClipboardRestoreDelay.name, 0.5);
    auto keys = std::make_shared<test::RecordingKeyInjector>(board.get());
    OutputService output(board, keys);
    bool pasted = false;
    output.pasteText("dictated ", [&](PasteResult) { pasted = true; });
    ASSERT_TRUE(test::spinUntil([&] { return pasted; }, 10000));

    test::WaylandProgram copy(runtime, "wl-copy", {"--foreground", "copied later"});
    ASSERT_TRUE(test::spinUntil([&] { return !output.hasPendingRestore(); }, 5000));
    EXPECT_EQ(paste(), "copied later");
}

TEST_F(WaylandSession, TheVirtualKeyboardPastesIntoANativeTerminalWithItsKeystroke) {
    ASSERT_TRUE(connection->toplevels());
    // Our keyboard first, as in a session: the test's sway has no keyboard of its own, and a terminal that
    // starts without one learns of ours only later.
    auto board = std::make_shared<DataControlPasteboard>(connection);
    auto keys = std::make_shared<VirtualKeyboardInjector>(connection);
    ASSERT_TRUE(keys->isTrusted());
    const QString file = QString::fromStdString((runtime / "typed").string());
    // The title the shell sets tells that the terminal is up and reads its keyboard: the compositor may
    // report the window focused before that.
    test::WaylandProgram terminal(
        runtime, "foot",
        {"--log-level=error", "sh", "-c", "stty -icanon -echo; printf '\\033]2;ready\\007'; exec cat > \"$0\"", file});
    ASSERT_TRUE(test::spinUntil(
        [&] {
            const auto focused = connection->toplevels()->activated();
            return focused && focused->appId == "foot" && focused->title == "ready";
        },
        15000));

    EXPECT_EQ(keys->pasteKeystroke(), PasteKeystroke::controlShiftV);
    OutputService output(board, keys);
    std::optional<PasteResult> result;
    output.pasteText("Grüße aus Wayland ", [&](PasteResult r) { result = r; });
    ASSERT_TRUE(test::spinUntil([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(result->keystrokeSent);
    const auto typed = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_TRUE(test::spinUntil([&] { return typed() == "Grüße aus Wayland "; }, 10000)) << typed().toStdString();
}

// A lone Right Alt read from the keyboard devices, which the compositor hands the focused window as well: there
// the test's own virtual keyboard (wtype) stands in for the physical one, as sway headless has none. Firefox
// takes a bare Alt press and release for its menu bar, where the paste keystroke would then go.
TEST_F(WaylandSession, ARightAltHeldOnAKeyboardDeviceOpensNoMenuBarInFirefoxAndEachPasteArrives) {
    ASSERT_TRUE(connection->toplevels());
    auto board = std::make_shared<DataControlPasteboard>(connection);
    auto keys = std::make_shared<VirtualKeyboardInjector>(connection);
    test::SyntheticKeyboards keyboards;
    const int device = keyboards.plug();
    ModifierKeyMonitor monitor(std::make_unique<MaskedModifierKeyBackend>(
        std::make_unique<evdev::EvdevModifierKeyBackend>(
            std::make_shared<evdev::KeyboardDevices>(keyboards.directory(), keyboards.access())),
        keys));
    int releases = 0;
    monitor.onKeyUp = [&] { ++releases; };
    monitor.option = HotkeyOption::rightOption;
    monitor.start();

    test::TempDir home;
    std::optional<test::WaylandProgram> firefox;
    {
        test::ScopedEnv firefoxHome("HOME", home.path().string()), noReports("MOZ_CRASHREPORTER_DISABLE", "1"),
            noBus("DBUS_SESSION_BUS_ADDRESS", test::kNoSessionBus);
        firefox.emplace(runtime, "firefox-esr", test::firefoxArguments(home / "profile"));
    }
    const auto title = [&] {
        const auto focused = connection->toplevels()->activated();
        return focused ? QString::fromStdString(focused->title) : QString();
    };
    const auto field = [&] { return test::fieldInTitle(title()); };
    ASSERT_TRUE(test::spinUntil([&] { return field().has_value(); }, 90000)) << title().toStdString();
    const auto wtype = [&](const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(test::waylandEnvironment(runtime));
        process->start("wtype", arguments);
        return process;
    };
    // The first keys of a new keyboard may come before the window has its keymap: typed until one arrives.
    ASSERT_TRUE(test::spinUntil(
        [&] {
            wtype({"x"})->waitForFinished(5000);
            return test::spinUntil([&] { return !field().value_or("").isEmpty(); }, 1000);
        },
        20000));
    QString expected = *field();

    for (int dictation = 1; dictation <= 2; ++dictation) {
        auto hold = wtype({"-P", "Alt_R", "-s", "1500", "-p", "Alt_R"});
        ASSERT_TRUE(test::spinUntil([&] { return test::heldInTitle(title()).contains("Alt"); }, 5000))
            << title().toStdString();
        keyboards.press(device, KEY_RIGHTALT);
        test::spinFor(700);
        keyboards.release(device, KEY_RIGHTALT);
        ASSERT_TRUE(test::spinUntil([&] { return releases == dictation; }));
        ASSERT_TRUE(test::spinUntil([&] { return hold->state() == QProcess::NotRunning; }));
        ASSERT_TRUE(test::spinUntil([&] { return test::heldInTitle(title()).isEmpty(); })) << title().toStdString();

        OutputService output(board, keys);
        std::optional<PasteResult> result;
        output.pasteText("Hello from Wayland. ", [&](PasteResult r) { result = r; });
        ASSERT_TRUE(test::spinUntil([&] { return result.has_value(); }, 10000));
        expected += "Hello from Wayland. ";
        EXPECT_TRUE(test::spinUntil([&] { return field() == expected; }, 10000)) << title().toStdString();
    }
}

TEST_F(WaylandSession, TheFocusedToplevelIsTrackedAndBroughtBackButOurOwnAreLeftOut) {
    ASSERT_TRUE(connection->toplevels());
    const auto focusedAppId = [&] {
        const auto focused = connection->toplevels()->activated();
        return focused ? focused->appId : std::string();
    };
    test::WaylandProgram target(runtime, "foot", {"--log-level=error", "--app-id=dictation-target", "sleep", "60"});
    ASSERT_TRUE(test::spinUntil([&] { return focusedAppId() == "dictation-target"; }, 15000));
    const auto targetId = connection->toplevels()->activated()->id;

    auto source = std::make_unique<ForeignToplevelSource>(connection, std::vector<std::string>{"Vandrel-Settings"});
    ForeignToplevelSource* sourceView = source.get();
    TargetAppTracker tracker(std::move(source), getpid());
    ASSERT_TRUE(tracker.lastTargetApp());
    EXPECT_EQ(tracker.lastTargetApp()->window, targetId);
    EXPECT_FALSE(tracker.lastTargetApp()->processId);

    // One of our own windows comes forward: it carries our process id and is not remembered.
    test::WaylandProgram ours(runtime, "foot", {"--log-level=error", "--app-id=vandrel-settings", "sleep", "60"});
    ASSERT_TRUE(test::spinUntil([&] { return focusedAppId() == "vandrel-settings"; }, 15000));
    const auto active = sourceView->activeApplication();
    ASSERT_TRUE(active);
    EXPECT_EQ(active->processId, getpid());
    EXPECT_EQ(tracker.lastTargetApp()->window, targetId);
    EXPECT_FALSE(tracker.isActive(*tracker.lastTargetApp()));

    ASSERT_TRUE(tracker.activate(*tracker.lastTargetApp()));
    EXPECT_TRUE(test::spinUntil([&] { return focusedAppId() == "dictation-target"; }, 5000));
    EXPECT_TRUE(tracker.isActive(*tracker.lastTargetApp()));

    target.process().kill();
    ASSERT_TRUE(test::spinUntil([&] { return !connection->toplevels()->find(targetId); }, 5000));
    EXPECT_FALSE(tracker.activate(RunningApplication{targetId, std::nullopt}));
}
