// The service's routing (gates, thresholds, two passes, echoes, second opinion, correction) through the
// fake libwhisper, with results delivered on a virtual-time main loop.
#include <gtest/gtest.h>

#include <fstream>

#include "base/LocalizationManager.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperLibrary.h"
#include "support/FakeWhisper.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
using test::fakeWhisper;
using test::FakeWhisperDecode;

namespace {

class ScriptedCorrection : public CorrectionAccess {
public:
    std::optional<std::string> prompt;
    std::optional<std::string> language;
    std::vector<std::pair<std::string, float>> corrected;
    bool calledOffMain = false;

    std::optional<std::string> vocabularyPrompt() override {
        check();
        return prompt;
    }
    std::optional<std::string> lexiconLanguage() override {
        check();
        return language;
    }
    std::string correct(const std::string& text, float score) override {
        check();
        corrected.emplace_back(text, score);
        return text + " [corrected]";
    }

private:
    void check() { calledOffMain = calledOffMain || !MainLoop::current().isMainThread(); }
};

const std::string kGerman =
    "Heute Morgen bin ich mit dem Fahrrad zur Arbeit gefahren, weil das Wetter so schön war und die Straßen noch "
    "ganz leer waren.";
const std::string kEnglishPrompt = "Hello, how are you doing today? Nice to meet you.";

class TranscriptionServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        test::writeTinyWhisperModel(s_dir->path() / "a.bin");
        test::writeTinyWhisperModel(s_dir->path() / "b.bin");
    }
    static void TearDownTestSuite() { delete s_dir; }

    void SetUp() override {
        WhisperLibrary::setLibraryPath(test::fakeWhisperLibraryPath());
        WhisperLibrary::resetForTesting();
        fakeWhisper().reset();
        correction = std::make_shared<ScriptedCorrection>();
        service = std::make_unique<TranscriptionService>(correction);
    }
    void TearDown() override {
        service.reset();
        EXPECT_FALSE(correction->calledOffMain);
    }
    std::filesystem::path model(const char* name) { return s_dir->path() / name; }

    TranscriptionResult<TranscriptionService::LoadOutcome> load(const std::filesystem::path& p) {
        std::optional<TranscriptionResult<TranscriptionService::LoadOutcome>> out;
        service->loadModel(p, [&](auto r) { out = r; });
        EXPECT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
        return *out;
    }
    TranscriptionResult<std::string> transcribe(float seconds, std::vector<std::string> languages,
                                                DecodeTicket ticket = issueDecodeTicket()) {
        std::optional<TranscriptionResult<std::string>> out;
        service->transcribe(
            std::vector<float>(static_cast<std::size_t>(seconds * 16000), 0.0f), languages, [&](auto r) { out = r; },
            ticket);
        EXPECT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
        return *out;
    }
    std::vector<std::optional<std::string>> decodedLanguages() {
        std::lock_guard lock(fakeWhisper().mutex);
        std::vector<std::optional<std::string>> out;
        for (auto& c : fakeWhisper().fullCalls) out.push_back(c.language);
        return out;
    }
    void loaded() { ASSERT_TRUE(load(model("a.bin")).ok()); }

    static test::TempDir* s_dir;
    test::TestWorld world;
    std::shared_ptr<ScriptedCorrection> correction;
    std::unique_ptr<TranscriptionService> service;
};
test::TempDir* TranscriptionServiceTest::s_dir = nullptr;

using Outcome = TranscriptionService::LoadOutcome;

TEST_F(TranscriptionServiceTest, LoadsOnceAndSaysWhenARequestWasDropped) {
    auto first = load(model("a.bin"));
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first.value, Outcome::loaded);
    EXPECT_EQ(*load(model("a.bin")).value, Outcome::alreadyLoaded);
    EXPECT_EQ(fakeWhisper().initCalls, 1);

    fakeWhisper().holdInit = true;
    std::optional<TranscriptionResult<Outcome>> slow, dropped;
    service->loadModel(model("b.bin"), [&](auto r) { slow = r; });
    service->loadModel(model("a.bin"), [&](auto r) { dropped = r; });
    ASSERT_TRUE(world.loop().runUntil([&] { return dropped.has_value(); }));
    EXPECT_EQ(*dropped->value, Outcome::droppedWhileLoading);
    EXPECT_TRUE(service->isLoading());
    {
        std::lock_guard lock(fakeWhisper().mutex);
        fakeWhisper().holdInit = false;
    }
    fakeWhisper().changed.notify_all();
    ASSERT_TRUE(world.loop().runUntil([&] { return slow.has_value(); }));
    EXPECT_EQ(*slow->value, Outcome::loaded);
    EXPECT_EQ(service->currentModelPath(), model("b.bin"));
    // The old model was released before the new one was made.
    EXPECT_EQ(fakeWhisper().freeCalls, 1);
}

TEST_F(TranscriptionServiceTest, FailuresAreTypedWithTheirMessages) {
    fakeWhisper().initSucceeds = false;
    auto failed = load(model("a.bin"));
    ASSERT_TRUE(failed.error.has_value());
    EXPECT_EQ(failed.error->kind(), TranscriptionError::Kind::modelNotLoaded);
    EXPECT_EQ(service->currentModelPath(), std::nullopt);
    EXPECT_FALSE(service->isLoading());

    // A file that is no model says why, instead of asking to wait for a download.
    std::ofstream(s_dir->path() / "portal.bin") << "<html>sign in</html>";
    auto notAModel = load(model("portal.bin"));
    ASSERT_TRUE(notAModel.error.has_value());
    EXPECT_EQ(notAModel.error->kind(), TranscriptionError::Kind::modelNotLoaded);
    EXPECT_EQ(notAModel.error->description(), "Whisper model not loaded: not a whisper model file (bad magic)");

    auto noModel = transcribe(1, {"en"});
    ASSERT_TRUE(noModel.error.has_value());
    EXPECT_EQ(noModel.error->description(), "Whisper model not loaded. Please wait for model to download.");

    fakeWhisper().initSucceeds = true;
    loaded();
    EXPECT_EQ(transcribe(1, {}).error->description(), "Transcription failed: No languages configured");
    FakeWhisperDecode bad;
    bad.returnCode = 1;
    fakeWhisper().decodeQueue.push_back(bad);
    EXPECT_EQ(transcribe(1, {"en"}).error->description(), "Transcription failed: whisper_full returned non-zero");
    auto unknown = transcribe(1, {"xx"});
    ASSERT_TRUE(unknown.error.has_value());
    EXPECT_EQ(fakeWhisper().fullCalls.size(), 1u);
}

TEST_F(TranscriptionServiceTest, OneLanguageOrShortAudioSkipsDetection) {
    loaded();
    correction->prompt = "Kubernetes, Helm";
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(" we deploy (cough) with helm"));
    auto r = transcribe(2, {"en"});
    EXPECT_EQ(*r.value, "We deploy with helm");
    EXPECT_EQ(fakeWhisper().pcmToMelCalls, 0);
    EXPECT_EQ(fakeWhisper().fullCalls.back().prompt, kEnglishPrompt + " Kubernetes, Helm");

    fakeWhisper().languageProbabilities = {{"de", 0.9f}, {"en", 0.1f}};
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("short one here"));
    EXPECT_EQ(*transcribe(0.6f, {"en", "de"}).value, "Short one here");
    EXPECT_EQ(fakeWhisper().pcmToMelCalls, 0);
    EXPECT_EQ(decodedLanguages().back(), "en");
    // 0.75 s exactly is not short.
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("long enough"));
    (void)transcribe(0.75f, {"en", "de"});
    EXPECT_EQ(fakeWhisper().pcmToMelCalls, 1);
}

TEST_F(TranscriptionServiceTest, DetectionThresholdsPickTheDecodeLanguage) {
    loaded();
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text("english words here", -0.6f);
    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text("deutsche worte hier", -0.6f);

    fakeWhisper().languageProbabilities = {{"en", 0.3f}, {"de", 0.1f}};
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "English words here");
    EXPECT_EQ(decodedLanguages(), (std::vector<std::optional<std::string>>{"en"}));

    fakeWhisper().fullCalls.clear();
    fakeWhisper().languageProbabilities = {{"en", 0.2f}, {"de", 0.8f}};
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "Deutsche worte hier");
    EXPECT_EQ(decodedLanguages(), (std::vector<std::optional<std::string>>{"de"}));

    fakeWhisper().fullCalls.clear();
    // A winner below one half among three languages: the first configured one is decoded.
    fakeWhisper().fullCalls.clear();
    fakeWhisper().languageProbabilities = {{"en", 0.45f}, {"de", 0.35f}, {"fr", 0.2f}};
    EXPECT_EQ(*transcribe(2, {"de", "en", "fr"}).value, "Deutsche worte hier");
    EXPECT_EQ(decodedLanguages(), (std::vector<std::optional<std::string>>{"de"}));
}

TEST_F(TranscriptionServiceTest, UncertainBandDecodesTwiceAndKeepsTheBetterScore) {
    loaded();
    fakeWhisper().languageProbabilities = {{"en", 0.4f}, {"de", 0.6f}};
    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text("deutsche worte hier", -0.6f);
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text("english words here", -0.4f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "English words here");
    EXPECT_EQ(decodedLanguages(), (std::vector<std::optional<std::string>>{"de", "en"}));

    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text("english words here", -0.6f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "Deutsche worte hier");  // ties keep the detected language

    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text("Hallo, wie geht es Ihnen?", -0.1f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "English words here");  // the German pass echoed its prompt
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text(kEnglishPrompt, -0.1f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "");

    // A stock phrase the clean-up empties loses to real text whatever its score, in either pass.
    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text(" Thanks for watching!", -0.05f);
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text("english words here", -0.9f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "English words here");
    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text("deutsche worte hier", -0.9f);
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text(" Thank you.", -0.05f);
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "Deutsche worte hier");
}

TEST_F(TranscriptionServiceTest, EchoesAndStockPhrasesComeBackEmpty) {
    loaded();
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(" " + kEnglishPrompt));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "");
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(" Thank you."));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "");
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("[BLANK_AUDIO]"));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "");
    EXPECT_TRUE(correction->corrected.empty());
}

TEST_F(TranscriptionServiceTest, SecondOpinionRedecodesInTheRecognisedLanguage) {
    loaded();
    fakeWhisper().languageProbabilities = {{"en", 0.9f}, {"de", 0.1f}};
    fakeWhisper().decodeByLanguage["en"] = FakeWhisperDecode::text(kGerman);
    fakeWhisper().decodeByLanguage["de"] = FakeWhisperDecode::text("zweiter durchgang auf deutsch");
    EXPECT_EQ(*transcribe(2, {"en", "de"}).value, "Zweiter durchgang auf deutsch");
    EXPECT_EQ(decodedLanguages(), (std::vector<std::optional<std::string>>{"en", "de"}));
    EXPECT_EQ(fakeWhisper().fullCalls.back().prompt, TranscriptionService::languagePrompt("de"));

    // With only one language configured nobody asks for a second opinion.
    fakeWhisper().fullCalls.clear();
    EXPECT_EQ(*transcribe(2, {"en"}).value, kGerman);
    EXPECT_EQ(decodedLanguages().size(), 1u);
}

TEST_F(TranscriptionServiceTest, CorrectionOnlyForTheLexiconsLanguage) {
    loaded();
    correction->language = "de";
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("an english sentence", -0.3f));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "An english sentence");
    EXPECT_TRUE(correction->corrected.empty());

    correction->language = "en";
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("an english sentence", -0.3f));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "An english sentence [corrected]");
    ASSERT_EQ(correction->corrected.size(), 1u);
    EXPECT_FLOAT_EQ(correction->corrected[0].second, -0.3f);
}

TEST_F(TranscriptionServiceTest, ACancelledUtteranceFailsAndTheNextOneRuns) {
    loaded();
    FakeWhisperDecode waiting;
    waiting.runUntilAborted = true;
    fakeWhisper().decodeQueue.push_back(waiting);
    const DecodeTicket ticket = issueDecodeTicket();
    std::optional<TranscriptionResult<std::string>> out;
    service->transcribe(
        std::vector<float>(32000), {"en"}, [&](auto r) { out = r; }, ticket);
    // The service reads the vocabulary prompt on the main thread before it decodes: keep the loop going.
    // Nothing is posted while the decode spins, so look again in short slices.
    auto decodeWaits = [] {
        std::lock_guard lock(fakeWhisper().mutex);
        return fakeWhisper().decodesWaitingForAbort > 0;
    };
    for (int i = 0; i < 500 && !decodeWaits(); ++i) world.loop().runUntil(decodeWaits, std::chrono::milliseconds(20));
    ASSERT_TRUE(decodeWaits());
    abortDecodesThrough(ticket);
    ASSERT_TRUE(world.loop().runUntil([&] { return out.has_value(); }));
    EXPECT_FALSE(out->ok());

    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("after the cancel"));
    EXPECT_EQ(*transcribe(2, {"en"}).value, "After the cancel");
}

TEST_F(TranscriptionServiceTest, ChunksAreDecodedWithoutCleanUp) {
    std::optional<std::optional<TranscriptionService::ChunkResult>> none;
    service->transcribeChunk(std::vector<float>(16000), "en", std::nullopt, [&](auto r) { none = r; });
    ASSERT_TRUE(world.loop().runUntil([&] { return none.has_value(); }));
    EXPECT_FALSE(none->has_value());

    loaded();
    correction->prompt = "Helm";
    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text("  raw (text) here \n", -0.2f, 0.4f));
    std::optional<std::optional<TranscriptionService::ChunkResult>> chunk;
    service->transcribeChunk(std::vector<float>(16000), "en", std::string("before"), [&](auto r) { chunk = r; });
    ASSERT_TRUE(world.loop().runUntil([&] { return chunk.has_value(); }));
    ASSERT_TRUE(chunk->has_value());
    EXPECT_EQ((*chunk)->text, "raw (text) here");
    EXPECT_FLOAT_EQ((*chunk)->noSpeechProbability, 0.4f);
    EXPECT_EQ(fakeWhisper().fullCalls.back().prompt, kEnglishPrompt + " Helm before");

    fakeWhisper().decodeQueue.push_back(FakeWhisperDecode::text(kEnglishPrompt, -0.2f, 0.9f));
    chunk.reset();
    service->transcribeChunk(std::vector<float>(16000), "en", std::nullopt, [&](auto r) { chunk = r; });
    ASSERT_TRUE(world.loop().runUntil([&] { return chunk.has_value(); }));
    EXPECT_EQ((*chunk)->text, "");
    EXPECT_FLOAT_EQ((*chunk)->noSpeechProbability, 0.9f);

    std::optional<std::optional<std::string>> lang;
    fakeWhisper().languageProbabilities = {{"en", 0.35f}, {"de", 0.65f}};
    service->detectChunkLanguage(std::vector<float>(16000), {"en", "de"}, [&](auto r) { lang = r; });
    ASSERT_TRUE(world.loop().runUntil([&] { return lang.has_value(); }));
    EXPECT_EQ(*lang, "en");
}

}  // namespace
