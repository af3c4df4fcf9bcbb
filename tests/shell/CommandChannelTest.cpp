// The command entry's channel between a second start and the running instance: a real socket, the
// sender on a thread of its own as the other process would be, the receiver on the Qt event loop.
#include "shell/CommandChannel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <fstream>
#include <future>

#include "support/TestEnvironment.h"

using namespace vandrel;
using Result = CommandSender::Result;

namespace {

// Sends from another thread while this one runs the event loop, as the receiving instance does.
Result sendWhileServing(const std::filesystem::path& path, AppCommand command, std::string* problem = nullptr) {
    auto sent = std::async(std::launch::async, [&] { return CommandSender::send(path, command, 5000, problem); });
    while (sent.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return sent.get();
}

// A socket at `path` whose owner is gone without removing it, as after a crash.
void leaveStaleSocket(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// What the receiver answers to a raw line, read by a peer on another thread.
std::string answerTo(const std::filesystem::path& path, const std::string& line) {
    auto answer = std::async(std::launch::async, [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        std::string got;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
            ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
            char buffer[64];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return got;
    });
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return answer.get();
}

}  // namespace

TEST(CommandChannel, CommandsSentWhileStartingWaitAndAreCarriedOutInOrder) {
    test::TempDir dir;
    const auto path = dir / "app.command";
    CommandChannel channel(path);
    ASSERT_TRUE(channel.isListening()) << channel.error();
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The senders block until the instance reads them, which it does once it is ready.
    auto first = std::async(std::launch::async, [&] { return CommandSender::send(path, AppCommand::start, 5000); });
    auto second = std::async(std::launch::async, [&] { return CommandSender::send(path, AppCommand::stop, 5000); });
    EXPECT_EQ(first.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    std::vector<AppCommand> received;
    channel.serve([&](AppCommand c) { received.push_back(c); });
    QElapsedTimer t;
    t.start();
    while (received.size() < 2 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(first.get(), Result::delivered);
    EXPECT_EQ(second.get(), Result::delivered);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_NE(received[0], received[1]);

    EXPECT_EQ(sendWhileServing(path, AppCommand::cancel), Result::delivered);
    EXPECT_EQ(sendWhileServing(path, AppCommand::activate), Result::delivered);
    EXPECT_EQ(received.size(), 4u);
    EXPECT_EQ(received.back(), AppCommand::activate);
}

TEST(CommandChannel, NobodyListeningIsToldApartFromAnInstanceThatDoesNotAnswer) {
    test::TempDir dir;
    const auto path = dir / "app.command";
    EXPECT_EQ(CommandSender::send(path, AppCommand::toggle, 1000), Result::notRunning);
    {
        CommandChannel channel(path);
        ASSERT_TRUE(channel.isListening());
        // Listening but never reading (a hung instance): the sender gives up with a reason.
        std::string problem;
        EXPECT_EQ(CommandSender::send(path, AppCommand::toggle, 300, &problem), Result::failed);
        EXPECT_FALSE(problem.empty());
    }
    // Gone with the instance; a socket left by a crashed one is taken over by the next instance.
    EXPECT_FALSE(std::filesystem::exists(path));
    leaveStaleSocket(path);
    EXPECT_EQ(CommandSender::send(path, AppCommand::toggle, 1000), Result::notRunning);
    CommandChannel next(path);
    EXPECT_TRUE(next.isListening()) << next.error();
}

TEST(CommandChannel, SomethingElseInTheWayIsLeftAloneAndUnknownWordsAreRefused) {
    test::TempDir dir;
    const auto path = dir / "app.command";
    std::ofstream(path) << "not a socket";
    CommandChannel blocked(path);
    EXPECT_FALSE(blocked.isListening());
    EXPECT_FALSE(blocked.error().empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(path));

    std::filesystem::remove(path);
    CommandChannel channel(path);
    int handled = 0;
    channel.serve([&](AppCommand) { ++handled; });
    EXPECT_FALSE(appCommandFromArgument("--activate"));
    EXPECT_EQ(appCommandFromArgument("--toggle"), AppCommand::toggle);
    EXPECT_FALSE(appCommandFromArgument("toggle"));
    EXPECT_EQ(answerTo(path, "hello\n"), "unknown\n");
    EXPECT_EQ(answerTo(path, std::string(200, 'x')), "");  // an endless line is cut off
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(sendWhileServing(path, AppCommand::toggle), Result::delivered);
    EXPECT_EQ(handled, 1);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
