// The model-file check that stands between a downloaded file and whisper.cpp's trusting loader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "base/FileUtil.h"
#include "speech/WhisperModelValidator.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;

namespace {

class ModelValidator : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        test::writeTinyWhisperModel(s_dir->path() / "m.bin");
        ASSERT_TRUE(readFile(s_dir->path() / "m.bin", *s_bytes));
    }
    static void TearDownTestSuite() { delete s_dir; }
    std::optional<std::string> check(const std::string& bytes) {
        return validateWhisperModelBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::string patched(std::size_t offset, std::int32_t value) {
        std::string b = *s_bytes;
        std::memcpy(&b[offset], &value, 4);
        return b;
    }
    static test::TempDir* s_dir;
    static std::string* s_bytes;
};
test::TempDir* ModelValidator::s_dir = nullptr;
std::string* ModelValidator::s_bytes = new std::string;

TEST_F(ModelValidator, AcceptsAWholeModelFromDiskAndMemory) {
    EXPECT_EQ(validateWhisperModelFile(s_dir->path() / "m.bin"), std::nullopt);
    EXPECT_EQ(check(*s_bytes), std::nullopt);
}

TEST_F(ModelValidator, RejectsEveryTruncation) {
    // Cuts inside the header, the filters, the vocabulary, a tensor header and tensor data, and a
    // cut that drops exactly the trailing bytes of the last tensor.
    const std::size_t size = s_bytes->size();
    for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(20), std::size_t(100), std::size_t(70000),
                            std::size_t(300000), size / 2, size - 200, size - 1})
        EXPECT_NE(check(s_bytes->substr(0, cut)), std::nullopt) << "cut at " << cut;
}

TEST_F(ModelValidator, RejectsAModelWithoutTensors) {
    // whisper.cpp loads such a file "for testing" with uninitialised weights.
    test::TinyWhisperModelOptions o;
    const std::size_t headerEnd = 4 + 11 * 4 + 8 + std::size_t(o.mels) * 201 * 4;
    std::int32_t vocabEntries = 0;
    std::memcpy(&vocabEntries, s_bytes->data() + headerEnd, 4);
    std::string headerOnly = s_bytes->substr(0, headerEnd);
    std::int32_t zero = 0;
    headerOnly.append(reinterpret_cast<const char*>(&zero), 4);
    auto problem = check(headerOnly);
    ASSERT_NE(problem, std::nullopt);
    EXPECT_NE(problem->find("incomplete"), std::string::npos) << *problem;
    EXPECT_EQ(vocabEntries, 50257);
}

TEST_F(ModelValidator, RejectsImplausibleHeadersAndTrailingBytes) {
    EXPECT_NE(check(patched(0, 0x12345678)), std::nullopt);                      // magic
    EXPECT_NE(check(patched(4, 1000)), std::nullopt);                            // vocabulary size
    EXPECT_NE(check(patched(4 + 2 * 4, -8)), std::nullopt);                      // model width
    EXPECT_NE(check(patched(4 + 3 * 4, 3)), std::nullopt);                       // heads not dividing the width
    EXPECT_NE(check(patched(4 + 4 * 4, 1 << 20)), std::nullopt);                 // layer count
    EXPECT_NE(check(patched(4 + 10 * 4, 5)), std::nullopt);                      // weight type
    EXPECT_NE(check(patched(4 + 11 * 4 + 8 + 80 * 201 * 4, -1)), std::nullopt);  // vocabulary count
    EXPECT_NE(check(*s_bytes + std::string(1, '\0')), std::nullopt);
    EXPECT_NE(validateWhisperModelFile(s_dir->path() / "absent.bin"), std::nullopt);
    EXPECT_NE(validateWhisperModelFile(s_dir->path()), std::nullopt);
    EXPECT_NE(validateWhisperModelFile("/dev/zero"), std::nullopt);
    ASSERT_EQ(::mkfifo((s_dir->path() / "pipe.bin").c_str(), 0600), 0);
    EXPECT_NE(validateWhisperModelFile(s_dir->path() / "pipe.bin"), std::nullopt);  // refused, not waited on
}

TEST_F(ModelValidator, AcceptsATierSizedSparseFile) {
    test::TempDir dir;
    test::TinyWhisperModelOptions small;
    small.state = 768;
    small.heads = 12;
    small.audioLayers = small.textLayers = 12;
    small.sparse = true;
    const auto size = test::writeTinyWhisperModel(dir / "ggml-small.bin", small);
    EXPECT_GT(size, 400u * 1000 * 1000);
    EXPECT_EQ(validateWhisperModelFile(dir / "ggml-small.bin"), std::nullopt);
}

}  // namespace
