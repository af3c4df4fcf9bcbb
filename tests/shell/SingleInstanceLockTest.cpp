#include "shell/SingleInstanceLock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {
// Whether another process can take the lock right now.
bool otherProcessAcquires(const std::filesystem::path& file) {
    pid_t pid = fork();
    if (pid == 0) {
        SingleInstanceLock lock(file);
        _exit(lock.acquired() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

TEST(SingleInstanceLock, ASecondProcessIsRefusedUntilTheFirstLetsGo) {
    test::TempDir dir;
    auto file = dir / "app.lock";
    {
        SingleInstanceLock first(file);
        ASSERT_TRUE(first.acquired());
        EXPECT_FALSE(otherProcessAcquires(file));
    }
    EXPECT_TRUE(otherProcessAcquires(file));  // released with the object; a stale file does not block
}

TEST(SingleInstanceLock, DefaultPathIsInTheRuntimeFolder) {
    test::TempDir dir;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().string());
    EXPECT_EQ(SingleInstanceLock::defaultPath().parent_path(), dir.path());
    SingleInstanceLock unusable(dir / "missing" / "x.lock");
    EXPECT_FALSE(unusable.acquired());
}
