// The binding against the real libwhisper.so with a tiny random-weight model: the text is meaningless,
// so these check behaviour (loads, detects among the configured languages, decodes, aborts, survives
// odd input), never words.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <future>

#include "speech/WhisperContext.h"
#include "speech/WhisperLibrary.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;

namespace {

class RealWhisper : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WhisperLibrary::setLibraryPath(VANDREL_WHISPER_LIBRARY);
        WhisperLibrary::resetForTesting();
        s_dir = new test::TempDir;
        test::writeTinyWhisperModel(s_dir->path() / "ggml-tiny.bin");
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string modelPath() { return (s_dir->path() / "ggml-tiny.bin").string(); }
    static std::vector<float> tone(float seconds) {
        std::vector<float> s(static_cast<std::size_t>(seconds * 16000));
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(float(i) * 0.07f);
        return s;
    }
    static test::TempDir* s_dir;
};
test::TempDir* RealWhisper::s_dir = nullptr;

TEST_F(RealWhisper, LoadsDetectsAndDecodes) {
    ASSERT_NE(WhisperLibrary::api(), nullptr) << WhisperLibrary::loadError();
    auto ctx = WhisperContext::create(modelPath());
    ASSERT_NE(ctx, nullptr);
    auto samples = tone(2.0f);
    auto [lang, p] = ctx->detectLanguage(samples, {"en", "de"});
    ASSERT_TRUE(lang.has_value());
    EXPECT_TRUE(*lang == "en" || *lang == "de");
    EXPECT_GE(p, 0.0f);
    EXPECT_LE(p, 1.0f);
    // Shares among the configured languages add up: the winner holds at least half.
    if (p > 0.0f) {
        EXPECT_GE(p, 0.5f);
    }

    ASSERT_EQ(ctx->full(samples, "en", "Hello, how are you?"), WhisperContext::DecodeStatus::success);
    EXPECT_LE(ctx->meanTokenProbability(), 0.0f);
    const float noSpeech = ctx->maxNoSpeechProbability();
    EXPECT_GE(noSpeech, 0.0f);
    EXPECT_LE(noSpeech, 1.0f);
    (void)ctx->segmentText();

    EXPECT_EQ(ctx->full(samples, "xx-unknown", std::nullopt), WhisperContext::DecodeStatus::unknownLanguage);
}

TEST_F(RealWhisper, ShortAndEmptyInputDoNotCrash) {
    auto ctx = WhisperContext::create(modelPath());
    ASSERT_NE(ctx, nullptr);
    auto shortInput = tone(0.1f);
    (void)ctx->full(shortInput, "de", std::nullopt);
    (void)ctx->segmentText();
    std::vector<float> empty;
    (void)ctx->full(empty, "en", std::nullopt);
    EXPECT_EQ(ctx->detectLanguage(empty, {"en", "de"}), std::make_pair(std::optional<std::string>("en"), 0.0f));
    std::vector<float> tiny(10, 0.1f);
    (void)ctx->detectLanguage(tiny, {"en", "de"});
    (void)ctx->full(tiny, "en", std::nullopt);
    EXPECT_LE(ctx->meanTokenProbability(), 0.0f);
}

TEST_F(RealWhisper, AnAbortedDecodeReportsFailure) {
    auto ctx = WhisperContext::create(modelPath());
    ASSERT_NE(ctx, nullptr);
    const DecodeTicket ticket = issueDecodeTicket();
    abortDecodesThrough(ticket);
    EXPECT_EQ(ctx->full(tone(3.0f), "en", std::nullopt, ticket), WhisperContext::DecodeStatus::failed);
    // The cancel was for that decode only.
    EXPECT_EQ(ctx->full(tone(1.0f), "en", std::nullopt), WhisperContext::DecodeStatus::success);
}

// The warm-up decodes over a short audio window; the model's next detection and decode still use the
// whole 30 s window, so they find what they would have found without it.
TEST_F(RealWhisper, AWarmUpChangesNoLaterResult) {
    auto ctx = WhisperContext::create(modelPath());
    ASSERT_NE(ctx, nullptr);
    auto samples = tone(2.0f);
    auto results = [&] {
        const auto detected = ctx->detectLanguage(samples, {"en", "de", "fr"});
        EXPECT_EQ(ctx->full(samples, "de", "Hallo"), WhisperContext::DecodeStatus::success);
        return std::make_tuple(detected, ctx->segmentText(), ctx->meanTokenProbability());
    };
    const auto before = results();
    ctx->warmUp("de", "Hallo");
    ctx->warmUp("xx-unknown", std::nullopt);
    EXPECT_EQ(results(), before);
}

// A detection and the decodes after it look at the same window, and whisper encodes it once for all of
// them; other audio is encoded anew. Either way every result is the one a fresh model finds.
TEST_F(RealWhisper, ResultsDoNotDependOnWhatTheModelEncodedBefore) {
    const std::vector<std::string> languages{"en", "de", "fr"};
    const auto a = tone(2.0f);
    std::vector<float> b(32000);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = 0.5f * std::sin(float(i) * 0.011f);
    auto detect = [&](WhisperContext& ctx, const std::vector<float>& s) { return ctx.detectLanguage(s, languages); };
    auto decode = [](WhisperContext& ctx, const std::vector<float>& s) {
        EXPECT_EQ(ctx.full(s, "de", "Hallo"), WhisperContext::DecodeStatus::success);
        return std::make_pair(ctx.segmentText(), ctx.meanTokenProbability());
    };
    auto fresh = [&](auto step, const std::vector<float>& s) {
        auto ctx = WhisperContext::create(modelPath());
        EXPECT_NE(ctx, nullptr);
        return step(*ctx, s);
    };
    const auto detectA = fresh(detect, a), detectB = fresh(detect, b);
    const auto decodeA = fresh(decode, a), decodeB = fresh(decode, b);
    ASSERT_NE(detectA, detectB) << "the two inputs must tell a stale encoding apart";
    ASSERT_NE(decodeA, decodeB) << "the two inputs must tell a stale encoding apart";

    auto ctx = WhisperContext::create(modelPath());
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(detect(*ctx, a), detectA);
    EXPECT_EQ(decode(*ctx, a), decodeA);
    EXPECT_EQ(decode(*ctx, a), decodeA);
    EXPECT_EQ(decode(*ctx, b), decodeB);
    EXPECT_EQ(detect(*ctx, a), detectA);
    EXPECT_EQ(detect(*ctx, b), detectB);
    EXPECT_EQ(decode(*ctx, b), decodeB);
    // An aborted decode leaves nothing that the next one could take wrongly.
    const DecodeTicket ticket = issueDecodeTicket();
    abortDecodesThrough(ticket);
    EXPECT_EQ(ctx->full(a, "de", "Hallo", ticket), WhisperContext::DecodeStatus::failed);
    EXPECT_EQ(decode(*ctx, a), decodeA);
}

TEST_F(RealWhisper, DamagedModelFilesFailWithoutCrashing) {
    test::TempDir dir;
    std::string bytes;
    {
        std::ifstream in(modelPath(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (std::size_t cut : {std::size_t(10), std::size_t(200000), bytes.size() - 100}) {
        const auto path = dir / ("cut" + std::to_string(cut) + ".bin");
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(cut));
        std::string reason;
        EXPECT_EQ(WhisperContext::create(path.string(), &reason), nullptr) << cut;
        EXPECT_FALSE(reason.empty());
    }
}

}  // namespace
