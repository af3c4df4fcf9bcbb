// WhisperContext against the fake libwhisper: parameters, detection arithmetic, result reading, aborts.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <thread>

#include "speech/WhisperContext.h"
#include "speech/WhisperLibrary.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
using vandrel::test::fakeWhisper;
using vandrel::test::FakeWhisperDecode;
using vandrel::test::FakeWhisperSegment;

namespace {

class WhisperContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        test::writeTinyWhisperModel(modelPath());
    }
    static void TearDownTestSuite() { delete s_dir; }
    static std::string modelPath() { return (s_dir->path() / "ggml-tiny.bin").string(); }

    void SetUp() override {
        WhisperLibrary::setLibraryPath(test::fakeWhisperLibraryPath());
        WhisperLibrary::resetForTesting();
        fakeWhisper().reset();
        context = WhisperContext::create(modelPath());
        ASSERT_NE(context, nullptr);
    }
    std::vector<float> seconds(float s) { return std::vector<float>(static_cast<std::size_t>(s * 16000.0f), 0.0f); }
    test::FakeWhisperFullCall lastCall() {
        std::lock_guard lock(fakeWhisper().mutex);
        return fakeWhisper().fullCalls.back();
    }

    static test::TempDir* s_dir;
    std::unique_ptr<WhisperContext> context;
};
test::TempDir* WhisperContextTest::s_dir = nullptr;

TEST_F(WhisperContextTest, CreationAsksForFlashAttentionAndFailsCleanly) {
    EXPECT_TRUE(fakeWhisper().lastFlashAttn);
    EXPECT_EQ(fakeWhisper().lastInitPath, modelPath());

    fakeWhisper().initSucceeds = false;
    std::string reason;
    EXPECT_EQ(WhisperContext::create(modelPath(), &reason), nullptr);
    EXPECT_FALSE(reason.empty());

    // A damaged file never reaches the library.
    fakeWhisper().initSucceeds = true;
    const int initsBefore = fakeWhisper().initCalls;
    test::TempDir dir;
    std::ofstream(dir / "broken.bin") << "ggml but not really";
    EXPECT_EQ(WhisperContext::create((dir / "broken.bin").string(), &reason), nullptr);
    EXPECT_EQ(fakeWhisper().initCalls, initsBefore);
    EXPECT_EQ(WhisperContext::create((dir / "missing.bin").string(), &reason), nullptr);

    const int freesBefore = fakeWhisper().freeCalls;
    context.reset();
    EXPECT_EQ(fakeWhisper().freeCalls, freesBefore + 1);
}

TEST_F(WhisperContextTest, MissingLibraryIsAnErrorNotACrash) {
    WhisperLibrary::setLibraryPath("/nonexistent/libwhisper.so");
    test::ScopedEnv env("VANDREL_WHISPER_LIBRARY", "/nonexistent/also.so");
    WhisperLibrary::resetForTesting();
    // The system may have a libwhisper of its own; only check when the search really comes up empty.
    std::string reason;
    auto ctx = WhisperContext::create(modelPath(), &reason);
    if (!WhisperLibrary::api()) {
        EXPECT_EQ(ctx, nullptr);
        EXPECT_NE(reason.find("/nonexistent/libwhisper.so"), std::string::npos) << reason;
    }
    WhisperLibrary::setLibraryPath(test::fakeWhisperLibraryPath());
    WhisperLibrary::resetForTesting();
}

TEST_F(WhisperContextTest, DetectionNormalisesOverTheConfiguredLanguages) {
    auto samples = seconds(2);
    // One language: no library call at all.
    EXPECT_EQ(context->detectLanguage(samples, {"de"}), std::make_pair(std::optional<std::string>("de"), 1.0f));
    EXPECT_EQ(fakeWhisper().pcmToMelCalls, 0);

    fakeWhisper().languageProbabilities = {{"en", 0.3f}, {"de", 0.1f}, {"fr", 0.5f}};
    auto [lang, p] = context->detectLanguage(samples, {"en", "de"});
    EXPECT_EQ(lang, "en");
    EXPECT_FLOAT_EQ(p, 0.75f);

    auto [lang2, p2] = context->detectLanguage(samples, {"de", "fr"});
    EXPECT_EQ(lang2, "fr");
    EXPECT_NEAR(p2, 0.5f / 0.6f, 1e-6);

    fakeWhisper().languageProbabilities = {{"en", 0.2f}, {"de", 0.2f}};
    auto [lang3, p3] = context->detectLanguage(samples, {"de", "en"});
    EXPECT_EQ(lang3, "de");
    EXPECT_FLOAT_EQ(p3, 0.5f);

    // Unknown codes are skipped; with none left the first configured code comes back with 0.
    auto [lang4, p4] = context->detectLanguage(samples, {"xx", "en"});
    EXPECT_EQ(lang4, "en");
    EXPECT_FLOAT_EQ(p4, 1.0f);
    auto [lang5, p5] = context->detectLanguage(samples, {"xx", "yy"});
    EXPECT_EQ(lang5, "xx");
    EXPECT_FLOAT_EQ(p5, 0.0f);

    fakeWhisper().languageProbabilities.clear();
    auto [lang6, p6] = context->detectLanguage(samples, {"de", "en"});
    EXPECT_EQ(lang6, "de");
    EXPECT_FLOAT_EQ(p6, 0.0f);

    fakeWhisper().languageProbabilities = {{"en", 0.9f}};
    fakeWhisper().pcmToMelResult = 1;
    const int detects = fakeWhisper().autoDetectCalls;
    auto [lang7, p7] = context->detectLanguage(samples, {"de", "en"});
    EXPECT_EQ(lang7, "de");
    EXPECT_FLOAT_EQ(p7, 0.0f);
    EXPECT_EQ(fakeWhisper().autoDetectCalls, detects);

    EXPECT_EQ(context->detectLanguage(samples, {}).first, std::nullopt);
}

TEST_F(WhisperContextTest, DecodeParameters) {
    ASSERT_EQ(context->full(seconds(14.9f), std::nullopt, std::nullopt), WhisperContext::DecodeStatus::success);
    auto call = lastCall();
    EXPECT_TRUE(call.singleSegment);
    EXPECT_EQ(call.language, std::nullopt);
    EXPECT_EQ(call.prompt, std::nullopt);
    EXPECT_EQ(call.strategy, WHISPER_SAMPLING_GREEDY);
    EXPECT_EQ(call.threads, whisperThreadCount());
    EXPECT_FALSE(call.translate);
    EXPECT_TRUE(call.noContext);
    EXPECT_TRUE(call.suppressBlank);
    EXPECT_TRUE(call.suppressNst);
    EXPECT_FALSE(call.printAnything);
    EXPECT_EQ(call.temperature, 0.0f);
    EXPECT_TRUE(call.hasAbortCallback);
    EXPECT_TRUE(call.abortUserDataSet);
    EXPECT_EQ(fakeWhisper().resetTimingsCalls, 1);

    ASSERT_EQ(context->full(seconds(15.0f), "de", "Hallo."), WhisperContext::DecodeStatus::success);
    call = lastCall();
    EXPECT_FALSE(call.singleSegment);
    EXPECT_EQ(call.language, "de");
    EXPECT_EQ(call.prompt, "Hallo.");
    EXPECT_EQ(call.samples, 240000);
}

TEST_F(WhisperContextTest, FailuresAndUnknownLanguages) {
    FakeWhisperDecode failing;
    failing.returnCode = 3;
    fakeWhisper().decodeQueue.push_back(failing);
    EXPECT_EQ(context->full(seconds(1), "en", std::nullopt), WhisperContext::DecodeStatus::failed);
    // An unknown code would decode garbage and report success: it never reaches whisper_full.
    const auto calls = fakeWhisper().fullCalls.size();
    EXPECT_EQ(context->full(seconds(1), "klingon", std::nullopt), WhisperContext::DecodeStatus::unknownLanguage);
    EXPECT_EQ(fakeWhisper().fullCalls.size(), calls);
}

TEST_F(WhisperContextTest, SegmentsJoinWithSingleSpaces) {
    auto decodeOf = [&](std::vector<std::string> texts) {
        FakeWhisperDecode d;
        for (auto& t : texts) d.segments.push_back({t, 0.0f, {}});
        fakeWhisper().decodeQueue.push_back(d);
        EXPECT_EQ(context->full(seconds(1), "en", std::nullopt), WhisperContext::DecodeStatus::success);
        return context->segmentText();
    };
    EXPECT_EQ(decodeOf({" Hello", " world"}), " Hello world");
    EXPECT_EQ(decodeOf({"Hello", "world"}), "Hello world");
    EXPECT_EQ(decodeOf({"Hello ", "world"}), "Hello world");
    EXPECT_EQ(decodeOf({}), "");
}

TEST_F(WhisperContextTest, ScoreSkipsSpecialTokensAndNoSpeechTakesTheMaximum) {
    FakeWhisperDecode d;
    d.segments.push_back({"a", 0.2f, {{"[_BEG_]", -9.0f}, {"a", -0.5f}, {"<null>", -1.5f}}});
    d.segments.push_back({"b", 0.7f, {{"b", -0.1f}, {"[_TT_1]", -9.0f}}});
    fakeWhisper().decodeQueue.push_back(d);
    ASSERT_EQ(context->full(seconds(1), "en", std::nullopt), WhisperContext::DecodeStatus::success);
    EXPECT_FLOAT_EQ(context->meanTokenProbability(), (-0.5f - 1.5f - 0.1f) / 3.0f);
    EXPECT_FLOAT_EQ(context->maxNoSpeechProbability(), 0.7f);

    FakeWhisperDecode special;
    special.segments.push_back({"", 0.0f, {{"[_BEG_]", -2.0f}, {"[_EOT_]", -3.0f}}});
    fakeWhisper().decodeQueue.push_back(special);
    ASSERT_EQ(context->full(seconds(1), "en", std::nullopt), WhisperContext::DecodeStatus::success);
    EXPECT_EQ(context->meanTokenProbability(), 0.0f);
    EXPECT_EQ(context->maxNoSpeechProbability(), 0.0f);
}

TEST_F(WhisperContextTest, ACancelAbortsOnlyTheDecodesItTargets) {
    FakeWhisperDecode waiting;
    waiting.runUntilAborted = true;
    fakeWhisper().decodeQueue.push_back(waiting);
    const DecodeTicket first = issueDecodeTicket();
    auto running = std::async(std::launch::async, [&] { return context->full(seconds(1), "en", std::nullopt, first); });
    ASSERT_TRUE(fakeWhisper().waitForDecodeWaitingForAbort());
    abortDecodesThrough(first);
    EXPECT_EQ(running.get(), WhisperContext::DecodeStatus::failed);

    // The next dictation's decode is not hit by the earlier cancel.
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("next"));
    EXPECT_EQ(context->full(seconds(1), "en", std::nullopt), WhisperContext::DecodeStatus::success);
    EXPECT_EQ(context->segmentText(), "next");

    // A cancel raised while its decode is still waiting to start is not lost.
    const DecodeTicket queued = issueDecodeTicket();
    requestWhisperAbort();
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("never"));
    EXPECT_EQ(context->full(seconds(1), "en", std::nullopt, queued), WhisperContext::DecodeStatus::failed);
    EXPECT_EQ(fakeWhisper().abortedDecodes, 2);
    EXPECT_FALSE(isDecodeAborted(issueDecodeTicket()));
}

TEST(WhisperThreads, TwoCoresStayFreeAndAtMostFourAreUsed) {
    EXPECT_EQ(whisperThreadCountFor(1), 1);
    EXPECT_EQ(whisperThreadCountFor(3), 1);
    EXPECT_EQ(whisperThreadCountFor(4), 2);
    EXPECT_EQ(whisperThreadCountFor(6), 4);
    EXPECT_EQ(whisperThreadCountFor(64), 4);
    // The process's own affinity mask decides, not the machine's core count.
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &saved)) {
            CPU_SET(c, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(whisperThreadCount(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
}

TEST(Durations, AreComparedInSinglePrecision) {
    EXPECT_TRUE(durationSeconds(238400) < 15.0f);
    EXPECT_FALSE(durationSeconds(240000) < 15.0f);
    EXPECT_FALSE(durationSeconds(12000) < 0.75f);
    EXPECT_TRUE(durationSeconds(11999) < 0.75f);
}

TEST_F(WhisperContextTest, VadContextReleasesOnlyARealHandle) {
    { VADContext none; }
    EXPECT_EQ(fakeWhisper().vadFreeCalls, 0);
    { VADContext some(reinterpret_cast<whisper_vad_context*>(0x10)); }
    EXPECT_EQ(fakeWhisper().vadFreeCalls, 1);
}

}  // namespace
