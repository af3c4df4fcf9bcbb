#include "shell/SingleInstanceLock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {
// What another process finds when it tries the lock right now.
SingleInstanceLock::State otherProcessFinds(const std::filesystem::path& file) {
    pid_t pid = fork();
    if (pid == 0) {
        SingleInstanceLock lock(file);
        _exit(static_cast<int>(lock.state()));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return static_cast<SingleInstanceLock::State>(WEXITSTATUS(status));
}
bool otherProcessAcquires(const std::filesystem::path& file) {
    return otherProcessFinds(file) == SingleInstanceLock::State::acquired;
}
}  // namespace

TEST(SingleInstanceLock, ASecondProcessIsRefusedUntilTheFirstLetsGo) {
    test::TempDir dir;
    auto file = dir / "app.lock";
    {
        SingleInstanceLock first(file);
        ASSERT_TRUE(first.acquired());
        EXPECT_EQ(otherProcessFinds(file), SingleInstanceLock::State::heldByAnotherInstance);
    }
    EXPECT_TRUE(otherProcessAcquires(file));  // released with the object; a stale file does not block
}

TEST(SingleInstanceLock, DefaultPathIsInAFolderOfTheUsersOwn) {
    test::TempDir dir;
    {
        test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().string());
        EXPECT_EQ(SingleInstanceLock::defaultPath().parent_path(), dir.path());
    }
    // Without a runtime folder: a private folder in the user's cache, never the shared temp folder.
    test::ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    test::ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").string());
    const auto path = SingleInstanceLock::defaultPath();
    EXPECT_EQ(path.parent_path(), dir / "cache" / "Vandrel");
    struct stat st {};
    ASSERT_EQ(lstat(path.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(SingleInstanceLock(path).acquired());

    // A folder of that name that is a link is not the user's private folder.
    std::filesystem::remove_all(dir / "cache" / "Vandrel");
    std::filesystem::create_directory_symlink(dir.path(), dir / "cache" / "Vandrel");
    std::string problem;
    EXPECT_TRUE(SingleInstanceLock::defaultPath(&problem).empty());
    EXPECT_NE(problem.find("not a folder"), std::string::npos) << problem;
}

// Failing to use the file is an error, not another instance, and a planted link is never followed.
TEST(SingleInstanceLock, UnusableFilesFailWithoutTouchingWhatTheyPointAt) {
    test::TempDir dir;
    SingleInstanceLock missing(dir / "missing" / "x.lock");
    EXPECT_EQ(missing.state(), SingleInstanceLock::State::failed);
    EXPECT_FALSE(missing.error().empty());

    std::ofstream(dir / "victim") << "precious";
    std::filesystem::create_symlink(dir / "victim", dir / "planted.lock");
    SingleInstanceLock planted(dir / "planted.lock");
    EXPECT_EQ(planted.state(), SingleInstanceLock::State::failed);
    EXPECT_NE(planted.error().find("symbolic link"), std::string::npos) << planted.error();
    std::string content;
    std::getline(std::ifstream(dir / "victim"), content);
    EXPECT_EQ(content, "precious");

    mkfifo((dir / "fifo.lock").c_str(), 0600);
    EXPECT_EQ(SingleInstanceLock(dir / "fifo.lock").state(), SingleInstanceLock::State::failed);
}
