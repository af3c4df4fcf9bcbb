#include "base/FileUtil.h"

#include <gtest/gtest.h>

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
