#include "base/FileUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestEnvironment.h"

using namespace vandrel;

TEST(FileUtil, PlainFileNamesRejectPathsAndHiddenNames) {
    for (const char* ok : {"medical_de_v7", "de", "software-en.v1", "a"}) EXPECT_TRUE(isPlainFileName(ok)) << ok;
    for (const char* bad :
         {"", ".", "..", "../x", "a/b", "/etc/passwd", ".hidden", "trailing.", "a..b", "a b", "a\\b", "ü", "a\nb"})
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
}

TEST(FileUtil, AtomicWriteReplacesContentAndLeavesNoTemporaryFiles) {
    test::TempDir dir;
    auto f = dir / "x.json";
    ASSERT_TRUE(writeFileAtomically(f, "one"));
    ASSERT_TRUE(writeFileAtomically(f, "two"));
    std::string s;
    ASSERT_TRUE(readFile(f, s));
    EXPECT_EQ(s, "two");
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(writeFileAtomically(dir / "missing-folder" / "x", "y"));
}

TEST(FileUtil, ReadsOnlyRegularFilesUpToTheLimit) {
    test::TempDir dir;
    std::string s = "left over";
    EXPECT_EQ(readRegularFile("/dev/zero", s), ReadFileStatus::notRegularFile);
    EXPECT_TRUE(s.empty());
    std::filesystem::create_symlink("/dev/urandom", dir / "link");
    EXPECT_FALSE(readFile(dir / "link", s));
    // Opening a pipe with no writer would wait forever.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(readRegularFile(dir / "pipe", s), ReadFileStatus::notRegularFile);
    EXPECT_EQ(readRegularFile(dir.path(), s), ReadFileStatus::notRegularFile);
    EXPECT_EQ(readRegularFile(dir / "missing", s), ReadFileStatus::unreadable);

    ASSERT_TRUE(writeFileAtomically(dir / "ten", "0123456789"));
    EXPECT_EQ(readRegularFile(dir / "ten", s, 9), ReadFileStatus::tooLarge);
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(readRegularFile(dir / "ten", s, 10), ReadFileStatus::ok);
    EXPECT_EQ(s, "0123456789");
}
