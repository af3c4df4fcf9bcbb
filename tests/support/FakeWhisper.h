#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vandrel::test {

// The script and the record of the fake libwhisper shared library (target vandrel_fake_whisper), which
// exports the whisper.cpp functions the application binds. A test links the fake, points the binding
// at it (fakeWhisperLibraryPath()) and scripts its answers here. All members are guarded by `mutex`
// because the fake is called from the actors' threads.
struct FakeWhisperToken {
    std::string text;  // "[_..." marks a special token
    float plog = 0.0f;
};

struct FakeWhisperSegment {
    std::string text;
    float noSpeechProbability = 0.0f;
    std::vector<FakeWhisperToken> tokens;
};

struct FakeWhisperDecode {
    int returnCode = 0;
    std::vector<FakeWhisperSegment> segments;
    // The decode polls its abort callback until it is told to stop, then returns -1.
    bool runUntilAborted = false;

    // One segment of `text` whose tokens all have log-probability `score`.
    static FakeWhisperDecode text(const std::string& text, float score = -0.2f, float noSpeech = 0.0f);
};

struct FakeWhisperFullCall {
    int strategy = -1;
    int threads = 0;
    std::optional<std::string> language;
    std::optional<std::string> prompt;
    bool singleSegment = false;
    bool translate = true;
    bool noContext = false;
    bool suppressBlank = false;
    bool suppressNst = false;
    bool printAnything = true;
    float temperature = -1.0f;
    bool hasAbortCallback = false;
    bool abortUserDataSet = false;
    int samples = 0;
};

struct FakeWhisper {
    std::mutex mutex;
    std::condition_variable changed;

    // Script.
    bool initSucceeds = true;
    bool holdInit = false;  // whisper_init waits until a test clears it (and notifies `changed`)
    int pcmToMelResult = 0;
    std::map<std::string, float> languageProbabilities;         // raw probability per language code
    std::map<std::string, FakeWhisperDecode> decodeByLanguage;  // decode for a given language...
    std::deque<FakeWhisperDecode> decodeQueue;                  // ...else the next queued one, else empty text

    // Record.
    int initCalls = 0;
    int initsWaiting = 0;
    int freeCalls = 0;
    int vadFreeCalls = 0;
    int pcmToMelCalls = 0;
    int autoDetectCalls = 0;
    int resetTimingsCalls = 0;
    bool lastFlashAttn = false;
    std::string lastInitPath;
    std::vector<FakeWhisperFullCall> fullCalls;
    int decodesWaitingForAbort = 0;
    int abortedDecodes = 0;

    void reset();
    // Blocks (real time, bounded) until a decode scripted with runUntilAborted is polling its callback.
    bool waitForDecodeWaitingForAbort(int count = 1);
};

FakeWhisper& fakeWhisper();
#ifdef VANDREL_FAKE_WHISPER_PATH
// The path of the fake shared library, for WhisperLibrary::setLibraryPath.
inline const char* fakeWhisperLibraryPath() { return VANDREL_FAKE_WHISPER_PATH; }
#endif

}  // namespace vandrel::test
