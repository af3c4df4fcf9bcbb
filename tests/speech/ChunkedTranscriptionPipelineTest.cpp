#include <gtest/gtest.h>

#include <deque>

#include "speech/ChunkedTranscriptionPipeline.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using Chunk = ChunkTranscriber::Chunk;

namespace {

// Records every request; the test answers them one by one, in order.
class ScriptedTranscriber final : public ChunkTranscriber {
public:
    struct Decode {
        std::size_t samples;
        std::string language;
        std::optional<std::string> prompt;
        std::function<void(std::optional<Chunk>)> answer;
    };
    struct Detection {
        std::vector<std::string> candidates;
        std::function<void(std::optional<std::string>)> answer;
    };

    void detectChunkLanguage(std::vector<float>, std::vector<std::string> candidates,
                             std::function<void(std::optional<std::string>)> done) override {
        detections.push_back({std::move(candidates), std::move(done)});
    }
    void transcribeChunk(std::vector<float> samples, std::string language, std::optional<std::string> previousText,
                         std::function<void(std::optional<Chunk>)> done) override {
        decodes.push_back({samples.size(), std::move(language), std::move(previousText), std::move(done)});
        allDecodes.push_back(decodes.back());
    }
    void abortRunningDecode() override { ++aborts; }

    void answerDecode(std::optional<Chunk> chunk) {
        ASSERT_FALSE(decodes.empty());
        auto d = std::move(decodes.front());
        decodes.pop_front();
        d.answer(std::move(chunk));
    }
    void answerDetection(std::optional<std::string> language) {
        ASSERT_FALSE(detections.empty());
        auto d = std::move(detections.front());
        detections.pop_front();
        d.answer(std::move(language));
    }

    std::deque<Decode> decodes;
    std::vector<Decode> allDecodes;
    std::deque<Detection> detections;
    int aborts = 0;
};

class PipelineTest : public ::testing::Test {
protected:
    std::unique_ptr<ChunkedTranscriptionPipeline> make(std::vector<std::string> languages) {
        return std::make_unique<ChunkedTranscriptionPipeline>(transcriber, nullptr, std::move(languages),
                                                              [this](const std::string& t) { partials.push_back(t); });
    }
    static std::vector<float> samples(std::size_t n, float value = 0.2f) { return std::vector<float>(n, value); }

    std::optional<ChunkedTranscriptionPipeline::Result> finish(ChunkedTranscriptionPipeline& p) {
        std::optional<ChunkedTranscriptionPipeline::Result> result;
        p.finish([&](ChunkedTranscriptionPipeline::Result r) { result = std::move(r); });
        return result;
    }

    test::TestWorld world;
    std::shared_ptr<ScriptedTranscriber> transcriber = std::make_shared<ScriptedTranscriber>();
    std::vector<std::string> partials;
};

}  // namespace

TEST(CapitalizeFirstLetter, UppercasesOnlyALowercaseFirstCharacter) {
    EXPECT_EQ(capitalizeFirstLetter("hello world"), "Hello world");
    EXPECT_EQ(capitalizeFirstLetter("Hello"), "Hello");
    EXPECT_EQ(capitalizeFirstLetter("1 apple"), "1 apple");
    EXPECT_EQ(capitalizeFirstLetter(""), "");
    EXPECT_EQ(capitalizeFirstLetter("über"), "Über");
    EXPECT_EQ(capitalizeFirstLetter("e\xCC\x81t\xC3\xA9"), "E\xCC\x81t\xC3\xA9");  // e + combining acute
    EXPECT_EQ(capitalizeFirstLetter("ßtraße"), "SStraße");
}

TEST_F(PipelineTest, NothingKeptAndAShortLeftoverGiveTheEmptyTextAndTheFallbackLanguage) {
    auto p = make({"de", "en"});
    p->appendSamples(samples(6399));
    auto r = finish(*p);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "");
    EXPECT_EQ(r->language, "de");
    EXPECT_FLOAT_EQ(r->confidence, 0.0f);
    EXPECT_TRUE(transcriber->allDecodes.empty());
    EXPECT_TRUE(transcriber->detections.empty());

    auto none = make({});
    EXPECT_EQ(finish(*none)->language, "en");
}

TEST_F(PipelineTest, ALeftoverOfExactlyFourTenthsOfASecondIsDecodedAtFinish) {
    auto p = make({"en"});
    p->appendSamples(samples(6400));
    std::optional<ChunkedTranscriptionPipeline::Result> result;
    p->finish([&](ChunkedTranscriptionPipeline::Result r) { result = std::move(r); });
    ASSERT_EQ(transcriber->decodes.size(), 1u);
    EXPECT_EQ(transcriber->decodes.front().samples, 6400u);
    EXPECT_TRUE(transcriber->detections.empty());  // a single language needs no detection
    EXPECT_FALSE(result);
    transcriber->answerDecode(Chunk{" hello there", -0.5f, 0.1f});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "Hello there");
    EXPECT_EQ(result->language, "en");
    EXPECT_FLOAT_EQ(result->confidence, -0.5f);
}

TEST_F(PipelineTest, DroppedChunksLeaveNoTrace) {
    auto p = make({"en"});
    bool done = false;
    p->decodeChunk(samples(16000), [&] { done = true; });
    transcriber->answerDecode(Chunk{"noise", -0.1f, 0.9f});  // exactly the limit: dropped
    EXPECT_TRUE(done);
    p->decodeChunk(samples(16000), [] {});
    transcriber->answerDecode(Chunk{" \n\t ", -0.1f, 0.0f});
    p->decodeChunk(samples(16000), [] {});
    transcriber->answerDecode(std::nullopt);
    EXPECT_TRUE(p->rawChunkTexts().empty());
    EXPECT_TRUE(partials.empty());
    EXPECT_FALSE(p->promptTail());  // no prompt after dropped chunks

    p->decodeChunk(samples(16000), [] {});
    transcriber->answerDecode(Chunk{"quiet words", -0.3f, 0.89f});
    p->decodeChunk(samples(16000), [] {});
    EXPECT_EQ(transcriber->decodes.front().prompt, "Quiet words");
    transcriber->answerDecode(Chunk{"more", -0.7f, 0.0f});
    EXPECT_EQ(partials, (std::vector<std::string>{"Quiet words", "Quiet words More"}));
    auto r = finish(*p);
    EXPECT_EQ(r->text, "Quiet words More");
    EXPECT_FLOAT_EQ(r->confidence, -0.5f);  // mean of the kept chunks only
}

TEST_F(PipelineTest, ThePromptIsThePreviousChunksLastHundredFiftyCharacters) {
    auto p = make({"de"});
    const std::string exact = "A" + std::string(148, 'a') + "\xC3\xA4";  // 150 characters, 151 bytes
    p->decodeChunk(samples(100), [] {});
    transcriber->answerDecode(Chunk{exact, 0, 0});
    EXPECT_EQ(p->promptTail(), exact);

    const std::string longer = "B" + exact;
    p->decodeChunk(samples(100), [] {});
    EXPECT_EQ(transcriber->decodes.front().prompt, exact);
    transcriber->answerDecode(Chunk{longer, 0, 0});
    EXPECT_EQ(p->promptTail(), exact);  // its last 150 characters, never the earlier chunks
}

TEST_F(PipelineTest, TheLanguageIsDetectedUntilOneIsFixedAndThenKept) {
    auto none = make({});
    none->decodeChunk(samples(100), [] {});
    none->decodeChunk(samples(100), [] {});
    ASSERT_EQ(transcriber->detections.size(), 2u);  // nothing to fall back on: asked for every chunk
    transcriber->answerDetection(std::nullopt);
    transcriber->answerDetection(std::nullopt);
    EXPECT_EQ(transcriber->decodes[0].language, "en");
    EXPECT_EQ(transcriber->decodes[1].language, "en");
    EXPECT_FALSE(none->detectedLanguage());
    transcriber->decodes.clear();

    auto two = make({"de", "en"});
    two->decodeChunk(samples(100), [] {});
    ASSERT_EQ(transcriber->detections.size(), 1u);
    EXPECT_EQ(transcriber->detections.front().candidates, (std::vector<std::string>{"de", "en"}));
    transcriber->answerDetection("en");
    transcriber->answerDecode(Chunk{"hi", 0, 0});
    two->decodeChunk(samples(100), [] {});
    EXPECT_TRUE(transcriber->detections.empty());
    EXPECT_EQ(transcriber->decodes.front().language, "en");

    auto fallback = make({"fr", "de"});
    fallback->decodeChunk(samples(100), [] {});
    transcriber->answerDetection(std::nullopt);
    EXPECT_EQ(fallback->detectedLanguage(), "fr");
}

TEST_F(PipelineTest, TheLoopCutsChunksAtTheQuietestMomentAndKeepsOneDecodeInFlight) {
    auto p = make({"en"});
    p->start();
    // 4.5 s of speech, 0.1 s of silence, 0.8 s of speech: the cut falls into the silence.
    p->appendSamples(samples(72000, 0.3f));
    p->appendSamples(samples(1600, 0.0f));
    world.loop().advance(milliseconds(250));
    EXPECT_TRUE(transcriber->decodes.empty());  // under five seconds
    p->appendSamples(samples(12800, 0.3f));
    world.loop().advance(milliseconds(250));
    ASSERT_EQ(transcriber->decodes.size(), 1u);
    EXPECT_EQ(transcriber->decodes.front().samples, 72800u);  // the middle of the silent stretch
    EXPECT_TRUE(p->hasDecodeInFlight());

    p->appendSamples(samples(16000 * 6, 0.3f));
    world.loop().advance(seconds(2));
    EXPECT_EQ(transcriber->decodes.size(), 1u);  // waits for the decode under way
    transcriber->answerDecode(Chunk{"first", 0, 0});
    world.loop().advance(milliseconds(250));
    ASSERT_EQ(transcriber->decodes.size(), 1u);
    EXPECT_EQ(transcriber->decodes.front().prompt, "First");

    // Finish waits for the decode under way, then decodes the rest.
    std::optional<ChunkedTranscriptionPipeline::Result> result;
    p->finish([&](ChunkedTranscriptionPipeline::Result r) { result = std::move(r); });
    EXPECT_FALSE(result);
    const std::size_t decoded = 72800 + transcriber->decodes.front().samples;
    transcriber->answerDecode(Chunk{"second", 0, 0});
    ASSERT_EQ(transcriber->decodes.size(), 1u);
    EXPECT_EQ(decoded + transcriber->decodes.front().samples, 72000u + 1600u + 12800u + 16000u * 6);
    transcriber->answerDecode(Chunk{"third", 0, 0});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "First Second Third");
    world.loop().advance(seconds(5));
    EXPECT_EQ(transcriber->allDecodes.size(), 3u);  // the loop has stopped
}

TEST_F(PipelineTest, CancelIsFinalAndDropsWhatArrivesLater) {
    auto p = make({"en"});
    p->start();
    p->appendSamples(samples(16000 * 6));
    world.loop().advance(milliseconds(250));
    ASSERT_EQ(transcriber->decodes.size(), 1u);
    p->cancel();
    EXPECT_EQ(transcriber->aborts, 1);
    p->appendSamples(samples(16000 * 6));
    world.loop().advance(seconds(1));

    std::optional<ChunkedTranscriptionPipeline::Result> result;
    p->finish([&](ChunkedTranscriptionPipeline::Result r) { result = std::move(r); });
    EXPECT_FALSE(result);  // still waits for the aborted decode to report back
    transcriber->answerDecode(Chunk{"too late", 0, 0});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "");
    EXPECT_TRUE(partials.empty());
    EXPECT_EQ(transcriber->allDecodes.size(), 1u);  // nothing more was decoded
}

TEST_F(PipelineTest, ACancelDuringLanguageDetectionStartsNoDecode) {
    auto p = make({"de", "en"});
    bool done = false;
    p->decodeChunk(samples(100), [&] { done = true; });
    p->cancel();
    transcriber->answerDetection("de");
    EXPECT_TRUE(done);
    EXPECT_TRUE(transcriber->allDecodes.empty());
}
