// The chunked pipeline decoding through the real transcription service and the fake libwhisper: what
// reaches whisper_full (chunk lengths, language, prompt) and what comes back into the text.
#include <gtest/gtest.h>

#include "speech/ChunkedTranscriptionPipeline.h"
#include "speech/TranscriptionService.h"
#include "speech/TranscriptionServiceChunkTranscriber.h"
#include "speech/WhisperLibrary.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
using test::fakeWhisper;
using test::FakeWhisperDecode;
using Result = ChunkedTranscriptionPipeline::Result;

namespace {

class NoCorrection : public CorrectionAccess {
public:
    std::optional<std::string> vocabularyPrompt() override { return std::nullopt; }
    std::optional<std::string> lexiconLanguage() override { return std::nullopt; }
    std::string correct(const std::string& text, float) override { return text; }
};

const std::string kEnglishPrompt = "Hello, how are you doing today? Nice to meet you.";

// Speech-like level everywhere except a silent stretch [quietFrom, quietFrom + quietLength).
std::vector<float> voiced(std::size_t n, std::size_t quietFrom = 0, std::size_t quietLength = 0) {
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = (i >= quietFrom && i < quietFrom + quietLength) ? 0.0f : 0.3f;
    return s;
}

class ChunkedPipelineWhisperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        test::writeTinyWhisperModel(s_dir->path() / "tiny.bin");
    }
    static void TearDownTestSuite() { delete s_dir; }

    void SetUp() override {
        WhisperLibrary::setLibraryPath(test::fakeWhisperLibraryPath());
        WhisperLibrary::resetForTesting();
        fakeWhisper().reset();
        service = std::make_unique<TranscriptionService>(std::make_shared<NoCorrection>());
        transcriber = std::make_shared<TranscriptionServiceChunkTranscriber>(*service);
        std::optional<TranscriptionResult<TranscriptionService::LoadOutcome>> loaded;
        service->loadModel(s_dir->path() / "tiny.bin", [&](auto r) { loaded = r; });
        ASSERT_TRUE(world.loop().runUntil([&] { return loaded.has_value(); }));
        ASSERT_TRUE(loaded->ok());
    }
    void TearDown() override {
        pipeline.reset();
        service.reset();
    }

    // One second chunks at the least, cut in the quietest tenth of a second of the last half second.
    void make(std::vector<std::string> languages) {
        ChunkedTranscriptionPipeline::Cutting cutting;
        cutting.pollInterval = milliseconds(250);
        cutting.minChunkSamples = 16000;
        cutting.cutSearchSamples = 8000;
        cutting.quietWindowSamples = 1600;
        pipeline = std::make_unique<ChunkedTranscriptionPipeline>(
            transcriber, nullptr, std::move(languages), [this](const std::string& t) { partials.push_back(t); },
            cutting);
    }
    // Lets the loop cut a chunk and waits until its decode has come back (which may already have
    // happened while the loop ran the jobs of the poll).
    void pollAndDecode() {
        const std::size_t before = fullCalls().size();
        world.loop().advance(milliseconds(250));
        ASSERT_TRUE(world.loop().runUntil([&] { return !pipeline->hasDecodeInFlight(); }));
        ASSERT_EQ(fullCalls().size(), before + 1) << "no chunk was cut";
    }
    Result finish() {
        std::optional<Result> out;
        pipeline->finish([&](Result r) { out = std::move(r); });
        EXPECT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
        return out.value_or(Result{});
    }
    void script(FakeWhisperDecode decode) {
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().decodeQueue.push_back(std::move(decode));
    }
    std::vector<test::FakeWhisperFullCall> fullCalls() {
        std::lock_guard lock(fakeWhisper().mutex);
        return fakeWhisper().fullCalls;
    }
    int autoDetectCalls() {
        std::lock_guard lock(fakeWhisper().mutex);
        return fakeWhisper().autoDetectCalls;
    }

    static test::TempDir* s_dir;
    test::TestWorld world;
    std::unique_ptr<TranscriptionService> service;
    std::shared_ptr<TranscriptionServiceChunkTranscriber> transcriber;
    std::unique_ptr<ChunkedTranscriptionPipeline> pipeline;
    std::vector<std::string> partials;
};
test::TempDir* ChunkedPipelineWhisperTest::s_dir = nullptr;

}  // namespace

TEST_F(ChunkedPipelineWhisperTest, ChunksEndInTheMiddleOfAPauseAndTheirTextsAreJoined) {
    make({"en"});
    pipeline->start();
    script(FakeWhisperDecode::text(" the first part", -0.2f));
    script(FakeWhisperDecode::text("and the second", -0.4f));

    // The silence at 14000...15599 is the quietest window of the last half second: the cut falls at its
    // middle, and what follows it waits for the next chunk.
    const auto first = voiced(20000, 14000, 1600);
    pipeline->appendSamples(first);
    pollAndDecode();
    ASSERT_EQ(fullCalls().size(), 1u);
    EXPECT_EQ(fullCalls()[0].samples, 14800);
    EXPECT_EQ(partials, std::vector<std::string>{"The first part"});

    // 5200 carried over + 16000 new; the next pause sits at 18000...19599 of that chunk.
    const auto second = voiced(16000, 12800, 1600);
    pipeline->appendSamples(second);
    pollAndDecode();
    ASSERT_EQ(fullCalls().size(), 2u);
    EXPECT_EQ(fullCalls()[1].samples, 18800);

    // 2400 samples remain: less than 0.4 s, not worth a decode.
    const Result result = finish();
    EXPECT_EQ(fullCalls().size(), 2u);
    EXPECT_EQ(result.text, "The first part And the second");
    EXPECT_EQ(result.language, "en");
    EXPECT_FLOAT_EQ(result.confidence, -0.3f);
    EXPECT_EQ(partials.back(), "The first part And the second");
}

TEST_F(ChunkedPipelineWhisperTest, TheLeftoverIsDecodedAtFinishFromFourTenthsOfASecond) {
    make({"en"});
    script(FakeWhisperDecode::text("just enough"));
    pipeline->appendSamples(voiced(6400));
    const Result kept = finish();
    ASSERT_EQ(fullCalls().size(), 1u);
    EXPECT_EQ(fullCalls()[0].samples, 6400);
    EXPECT_EQ(kept.text, "Just enough");

    fakeWhisper().reset();
    make({"de", "en"});
    script(FakeWhisperDecode::text("too short"));
    pipeline->appendSamples(voiced(6399));
    const Result skipped = finish();
    EXPECT_TRUE(fullCalls().empty());
    EXPECT_EQ(autoDetectCalls(), 0);
    EXPECT_EQ(skipped.text, "");
    EXPECT_EQ(skipped.language, "de");
    EXPECT_FLOAT_EQ(skipped.confidence, 0.0f);
}

TEST_F(ChunkedPipelineWhisperTest, TheLanguageIsDetectedOnceAndUsedForEveryChunk) {
    {
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().languageProbabilities = {{"en", 0.1f}, {"de", 0.9f}};
    }
    make({"en", "de"});
    pipeline->start();
    script(FakeWhisperDecode::text("erster teil"));
    script(FakeWhisperDecode::text("zweiter teil"));
    pipeline->appendSamples(voiced(20000, 14000, 1600));
    pollAndDecode();
    // Later audio would sound English: the language is not asked again.
    {
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().languageProbabilities = {{"en", 0.9f}, {"de", 0.1f}};
    }
    pipeline->appendSamples(voiced(16000, 12800, 1600));
    pollAndDecode();

    EXPECT_EQ(autoDetectCalls(), 1);
    const auto calls = fullCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].language, "de");
    EXPECT_EQ(calls[1].language, "de");
    EXPECT_EQ(finish().language, "de");
}

TEST_F(ChunkedPipelineWhisperTest, ASingleLanguageNeedsNoDetection) {
    make({"fr"});
    script(FakeWhisperDecode::text("bonjour"));
    pipeline->appendSamples(voiced(8000));
    EXPECT_EQ(finish().text, "Bonjour");
    EXPECT_EQ(autoDetectCalls(), 0);
    ASSERT_EQ(fullCalls().size(), 1u);
    EXPECT_EQ(fullCalls()[0].language, "fr");
}

TEST_F(ChunkedPipelineWhisperTest, ANoSpeechChunkIsDroppedAndGivesNoPrompt) {
    make({"en"});
    pipeline->start();
    script(FakeWhisperDecode::text("thank you for watching", -0.1f, 0.9f));
    script(FakeWhisperDecode::text("real words", -0.5f, 0.89f));
    script(FakeWhisperDecode::text("more words", -0.7f));

    pipeline->appendSamples(voiced(20000, 14000, 1600));
    pollAndDecode();
    EXPECT_TRUE(partials.empty());
    EXPECT_FALSE(pipeline->promptTail().has_value());

    pipeline->appendSamples(voiced(16000, 12800, 1600));
    pollAndDecode();
    pipeline->appendSamples(voiced(16000, 12800, 1600));
    pollAndDecode();

    const auto calls = fullCalls();
    ASSERT_EQ(calls.size(), 3u);
    // After the dropped chunk only the language's own priming sentence; then the kept chunk's text.
    EXPECT_EQ(calls[1].prompt, kEnglishPrompt);
    EXPECT_EQ(calls[2].prompt, kEnglishPrompt + " Real words");
    const Result result = finish();
    EXPECT_EQ(result.text, "Real words More words");
    // The dropped chunk's score does not count.
    EXPECT_FLOAT_EQ(result.confidence, -0.6f);
}

TEST_F(ChunkedPipelineWhisperTest, OnlyTheLastHundredFiftyCharactersOfThePreviousChunkArePassedOn) {
    make({"en"});
    pipeline->start();
    // 151 characters, two of them outside ASCII: the tail counts characters, not bytes.
    const std::string longText = "Zoë " + std::string(142, 'a') + " café";
    ASSERT_EQ(longText.size(), 153u);
    script(FakeWhisperDecode::text("short one"));
    script(FakeWhisperDecode::text(longText));
    script(FakeWhisperDecode::text("last"));
    for (int i = 0; i < 3; ++i) {
        pipeline->appendSamples(i == 0 ? voiced(20000, 14000, 1600) : voiced(16000, 12800, 1600));
        pollAndDecode();
    }
    const auto calls = fullCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].prompt, kEnglishPrompt);
    EXPECT_EQ(calls[1].prompt, kEnglishPrompt + " Short one");
    // Only the previous chunk, never the one before it; its first character is cut off.
    EXPECT_EQ(calls[2].prompt, kEnglishPrompt + " oë " + std::string(142, 'a') + " café");
}

TEST_F(ChunkedPipelineWhisperTest, CancelAbortsTheRunningDecodeButNotOneAskedForLater) {
    make({"en"});
    pipeline->start();
    FakeWhisperDecode waiting;
    waiting.runUntilAborted = true;
    script(waiting);
    script(FakeWhisperDecode::text("the next dictation"));

    pipeline->appendSamples(voiced(20000, 14000, 1600));
    world.loop().advance(milliseconds(250));
    ASSERT_TRUE(pipeline->hasDecodeInFlight());
    // The service reads the vocabulary prompt on the main thread before it decodes: keep the loop going
    // in short slices while the decode spins (it posts nothing).
    auto decodeWaits = [] {
        std::lock_guard lock(fakeWhisper().mutex);
        return fakeWhisper().decodesWaitingForAbort > 0;
    };
    for (int i = 0; i < 500 && !decodeWaits(); ++i) world.loop().runUntil(decodeWaits, std::chrono::milliseconds(20));
    ASSERT_TRUE(decodeWaits());

    // A finish waits for the decode under way; a dictation asked for meanwhile queues behind it.
    std::optional<Result> finished;
    pipeline->finish([&](Result r) { finished = std::move(r); });
    std::optional<TranscriptionResult<std::string>> later;
    service->transcribe(std::vector<float>(32000, 0.0f), {"en"}, [&](auto r) { later = r; });

    pipeline->cancel();
    ASSERT_TRUE(world.loop().runUntil([&] { return finished.has_value() && later.has_value(); }));
    {
        std::lock_guard lock(fakeWhisper().mutex);
        EXPECT_EQ(fakeWhisper().abortedDecodes, 1);
    }
    EXPECT_EQ(finished->text, "");
    EXPECT_FLOAT_EQ(finished->confidence, 0.0f);
    EXPECT_TRUE(partials.empty());
    // The cancelled pipeline decoded nothing more (its leftover included); the later dictation ran.
    EXPECT_EQ(fullCalls().size(), 2u);
    ASSERT_TRUE(later->ok());
    EXPECT_EQ(*later->value, "The next dictation");
}
