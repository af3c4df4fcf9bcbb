// Our Wayland connection against a compositor of the test's own that goes away under it.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server-core.h>

#include <cstring>
#include <thread>

#include "platform/X11TestSupport.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/wayland/DataControlPasteboard.h"
#include "platform/wayland/VirtualKeyboardInjector.h"
#include "platform/wayland/WaylandConnection.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using namespace vandrel::wayland;

TEST(WaylandConnection, ACompositorThatGoesAwayIsReportedOnceAndLeavesEverythingInert) {
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    test::TempDir runtime;
    test::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().string());
    wl_display* server = wl_display_create();
    ASSERT_EQ(wl_display_add_socket(server, "wayland-test"), 0);
    std::thread serving([server] { wl_display_run(server); });

    auto connection = WaylandConnection::open((runtime / "wayland-test").string());
    ASSERT_TRUE(connection);
    EXPECT_FALSE(connection->isLost());
    int lost = 0;
    auto subscription = connection->lost.connect([&] { ++lost; });

    wl_display_terminate(server);
    serving.join();
    wl_display_destroy_clients(server);  // hangs up on us
    wl_display_destroy(server);
    EXPECT_TRUE(test::spinUntil([&] { return lost > 0; }, 5000));
    EXPECT_TRUE(connection->isLost());
    EXPECT_FALSE(connection->roundtrip());
    connection->flush();
    EXPECT_EQ(lost, 1);

    DataControlPasteboard board(connection);
    EXPECT_FALSE(board.isAvailable());
    std::optional<PasteboardSnapshot> snapshot;
    board.readContents([&](PasteboardSnapshot s) { snapshot = std::move(s); });
    ASSERT_TRUE(test::spinUntil([&] { return snapshot.has_value(); }, 1000));
    EXPECT_TRUE(snapshot->empty());
    VirtualKeyboardInjector keys(connection);
    EXPECT_FALSE(keys.isTrusted());
    std::optional<bool> posted;
    keys.sendPaste(PasteKeystroke::controlV, [&](bool p) { posted = p; });
    EXPECT_EQ(posted, false);
    MainLoop::setCurrent(nullptr);
}

// A compositor that takes the connection and never answers used to hold Vandrel's start for ever.
TEST(WaylandConnection, ACompositorThatNeverAnswersCountsAsNone) {
    QtMainLoop loop;
    MainLoop::setCurrent(&loop);
    test::TempDir runtime;
    const auto path = (runtime / "wayland-silent").string();
    const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    EXPECT_EQ(WaylandConnection::open(path, std::chrono::milliseconds(200)), nullptr);
    ::close(silent);
    MainLoop::setCurrent(nullptr);
}
