// Key-up to text in another program's window, through the application's own delegate and Linux pieces
// (the XInput2 hotkey, the sound server's microphone, the transcription service, the clipboard, the XTest
// keystroke, the overlay and the tray), with the fake libwhisper as the recogniser. Each dictation holds
// the right Alt key with XTest for about a second of noise from the virtual microphone, lets go, and waits
// for the text in a text field of another process (a Qt one, and a GTK one), which owns the clipboard before
// each dictation as an editor would. The stages are timed on the way:
//   key-up -> samples taken (the recorder stopped) -> service done (the text is back on the main thread)
//   -> keystroke posted (XTest) -> target updated (the field reports its new text).
// Run under the test services: scripts/with-services.sh build/bin/dictation_latency_bench
// Qt before Xlib: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
// clang-format off
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
// clang-format on

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "base/UserDefaults.h"
#include "dictation/KeyInjector.h"
#include "dictation/OutputService.h"
#include "dictation/OverlayPanelController.h"
#include "dictation/Pasteboard.h"
#include "dictation/SoundService.h"
#include "dictation/TargetAppTracker.h"
#include "platform/canberra/CanberraSoundPlayer.h"
#include "platform/pulse/PulseAudioBackend.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/x11/EscapeKeyGrab.h"
#include "platform/x11/EwmhActiveWindowSource.h"
#include "platform/x11/XInputModifierKeyBackend.h"
#include "platform/x11/XTestKeyInjector.h"
#include "shell/AppDelegate.h"
#include "speech/AudioRecorder.h"
#include "speech/TranscriptionService.h"
#include "speech/WhisperLibrary.h"
#include "support/FakeWhisper.h"
#include "support/QtBenchmarkMain.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
using Clock = std::chrono::steady_clock;

namespace {

const QString kDictated = "Hello from the latency bench";
// Blocks of 4096 frames from a 44.1 or 48 kHz source: about a second of audio.
constexpr int kBlocksHeld = 12;

double ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs the Qt loop until `done` holds or `limitMs` passed.
bool spin(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The X keystroke sender, stamping the moment its keystroke went out.
class StampingInjector : public KeyInjector {
public:
    explicit StampingInjector(std::shared_ptr<KeyInjector> inner) : m_inner(std::move(inner)) {}
    bool isTrusted() const override { return m_inner->isTrusted(); }
    PasteKeystroke pasteKeystroke() override { return m_inner->pasteKeystroke(); }
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool)> done) override {
        m_inner->sendPaste(keystroke, [this, done = std::move(done)](bool posted) {
            postedAt = Clock::now();
            if (done) done(posted);
        });
    }
    Clock::time_point postedAt;

private:
    std::shared_ptr<KeyInjector> m_inner;
};

// The clipboard, stamping the moment the snapshot of the user's contents came back and the moment the
// text was written.
class StampingPasteboard : public Pasteboard {
public:
    explicit StampingPasteboard(std::shared_ptr<Pasteboard> inner) : m_inner(std::move(inner)) {}
    void readContents(std::function<void(PasteboardSnapshot)> done) override {
        m_inner->readContents([this, done = std::move(done)](PasteboardSnapshot snapshot) {
            snapshotAt = Clock::now();
            done(std::move(snapshot));
        });
    }
    std::optional<std::string> plainText() override { return m_inner->plainText(); }
    void setPlainText(const std::string& text) override {
        m_inner->setPlainText(text);
        writtenAt = Clock::now();
    }
    void writeContents(const PasteboardSnapshot& entries) override { m_inner->writeContents(entries); }
    std::optional<std::uint64_t> changeCount() override { return m_inner->changeCount(); }
    Clock::time_point snapshotAt, writtenAt;

private:
    std::shared_ptr<Pasteboard> m_inner;
};

class NoUpdates : public UpdateUserDriver {
public:
    void showUpToDate(const std::string&, std::function<void()> done) override { done(); }
    void showUpdateAvailable(const AppcastItem&, const std::string&, std::function<void()> done) override { done(); }
    void showError(const std::string&, const std::string&, std::function<void()> done) override { done(); }
    void bringToFront() override {}
};

class NoWindows : public ShellWindows {
public:
    void openSettingsWindow(std::optional<SettingsTab>) override {}
    void showOnboardingWindow() override {}
    void showPendingAnnouncement() override {}
    void retitleWindows() override {}
};

enum class Editor { qt, gtk };

// The other program: a text field with the focus, reporting each change of its text.
class Target {
public:
    explicit Target(Editor editor) {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            const auto now = Clock::now();
            m_buffer += QString::fromUtf8(m_process.readAllStandardOutput());
            qsizetype end;
            while ((end = m_buffer.indexOf('\n')) >= 0) {
                const QString line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                if (line == "READY") ready = true;
                if (line.startsWith("CLIPBOARD:")) clipboard = line.mid(10);
                if (line.startsWith("TEXT:") && line.endsWith(expected)) {
                    ++texts;
                    updatedAt = now;
                }
            }
        });
        if (editor == Editor::qt)
            m_process.start(QCoreApplication::applicationDirPath() + "/vandrel_e2e_window", {});
        else
            m_process.start("/usr/bin/python3", {VANDREL_GTK_TARGET_PATH});
    }
    ~Target() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(2000)) m_process.kill();
    }
    void command(const QString& line) { m_process.write((line + "\n").toUtf8()); }

    QString expected;  // how the field's text ends once the dictation arrived
    bool ready = false;
    int texts = 0;
    QString clipboard;
    Clock::time_point updatedAt;

private:
    QProcess m_process;
    QString m_buffer;
};

struct Stages {
    std::vector<double> samples, service, posted, target, total, snapshot, written;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void BM_KeyUpToTextInAnotherWindow(benchmark::State& state, Editor editor) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        state.SkipWithError("no X display");
        return;
    }
    const KeyCode altR = XKeysymToKeycode(d, XK_Alt_R);

    // One home for every run: the application's folders are found once per process.
    static test::TempDir home;
    static test::ScopedEnv data("XDG_DATA_HOME", (home / "data").string());
    static test::ScopedEnv config("XDG_CONFIG_HOME", (home / "config").string());
    const auto models = home / "data/com.harstow.Vandrel/Models";
    std::filesystem::create_directories(models);
    if (!std::filesystem::exists(models / "ggml-large-v3-turbo-q5_0.bin"))
        test::writeTinyWhisperModel(models / "ggml-large-v3-turbo-q5_0.bin");
    WhisperLibrary::setLibraryPath(VANDREL_FAKE_WHISPER_PATH);
    // The application's defaults: sounds on, Right Alt held, the clipboard restored.
    UserDefaults::setStandard(UserDefaults::inMemory());

    AudioBackend::setShared(std::make_shared<pulse::PulseAudioBackend>());
    TargetAppTracker::setSharedSourceFactory([] { return std::make_unique<x11::EwmhActiveWindowSource>(); });
    auto injector = std::make_shared<StampingInjector>(std::make_shared<x11::XTestKeyInjector>());

    AppDelegate::Parts parts;
    parts.services.audioRecorder = std::make_unique<AudioRecorder>();
    AudioRecorder* recorder = parts.services.audioRecorder.get();
    parts.services.transcriptionService = std::make_unique<TranscriptionService>();
    auto clipboard = std::make_shared<StampingPasteboard>(std::make_shared<QtPasteboard>());
    parts.services.outputService = std::make_unique<OutputService>(
        clipboard, injector,
        std::make_shared<QtPasteboard>(x11::SelectionReader::Limits{}, QtPasteboard::Selection::primary));
    parts.services.soundService = std::make_unique<SoundService>(
        std::make_shared<CanberraSoundPlayer>(CanberraSoundPlayer::defaultSoundsFolder()));
    parts.services.overlayController = std::make_unique<OverlayPanelController>();
    parts.modifierKeys = std::make_unique<x11::XInputModifierKeyBackend>();
    parts.updateDriver = std::make_unique<NoUpdates>();
    parts.escapeTap = std::make_unique<x11::EscapeKeyGrab>();
    parts.windows = std::make_unique<NoWindows>();
    auto delegate = std::make_unique<AppDelegate>(std::move(parts));
    delegate->setUp();
    AppState& app = delegate->appState();

    // Noise played into the sink whose monitor is the microphone, all along: an idle sink is suspended and
    // its monitor then delivers nothing, and noise is never skipped as too quiet.
    QProcess speaker;
    speaker.setStandardInputFile("/dev/urandom");
    speaker.start("pacat",
                  {"--playback", "--device=vandrel_speaker", "--format=s16le", "--rate=16000", "--channels=1"});
    Target target(editor);
    if (!spin([&] { return app.isModelLoaded.get() && target.ready; }, 30000)) {
        state.SkipWithError(!target.ready ? "the target window did not get the focus" : "the model did not load");
        return;
    }
    spin([] { return false; }, 3000);  // the start-up warm-ups come and go

    Clock::time_point keyUp, samplesAt, serviceAt;
    Connection recorderStop = recorder->isRecordingChanged.connect([&] {
        if (!recorder->isRecording()) samplesAt = Clock::now();
    });
    Connection serviceDone =
        app.lastTranscription.changed.connect([&](const std::string&) { serviceAt = Clock::now(); });

    int blocks = 0;
    Connection blockCount = recorder->audioLevelChanged.connect([&] { ++blocks; });
    Stages stages;
    for (auto _ : state) {
        // The editor holds the user's clipboard, as before a dictation.
        // A user copies a while before dictating: wait until this side saw the new owner too.
        const auto copiedBefore = clipboard->changeCount();
        target.clipboard.clear();
        target.command("copy the user's own text");
        target.command("clipboard");
        spin([&] { return target.clipboard == "the user's own text" && clipboard->changeCount() != copiedBefore; },
             2000);
        const int before = target.texts;
        // A text of its own each time: the dictation state announces only a new last transcription.
        const QString said = kDictated + " " + QString::number(stages.total.size() + 1) + ".";
        {
            std::lock_guard lock(test::fakeWhisper().mutex);
            test::fakeWhisper().decodeQueue.push_back(test::FakeWhisperDecode::text(said.toStdString()));
        }
        target.expected = said + " ";

        XTestFakeKeyEvent(d, altR, True, CurrentTime);
        XFlush(d);
        // Held until the microphone delivered about a second (a busy sound server can lag behind).
        spin([&] { return recorder->isRecording(); }, 5000);
        blocks = 0;
        spin([&] { return blocks >= kBlocksHeld; }, 8000);
        keyUp = Clock::now();
        XTestFakeKeyEvent(d, altR, False, CurrentTime);
        XFlush(d);
        if (!spin([&] { return target.texts > before; }, 10000)) {
            state.SkipWithError("the text did not arrive");
            break;
        }
        stages.samples.push_back(ms(keyUp, samplesAt));
        stages.service.push_back(ms(samplesAt, serviceAt));
        stages.posted.push_back(ms(serviceAt, injector->postedAt));
        stages.snapshot.push_back(ms(serviceAt, clipboard->snapshotAt));
        stages.written.push_back(ms(std::max(serviceAt, clipboard->snapshotAt), clipboard->writtenAt));
        stages.target.push_back(ms(injector->postedAt, target.updatedAt));
        stages.total.push_back(ms(keyUp, target.updatedAt));
        state.SetIterationTime(stages.total.back() / 1000.0);

        state.PauseTiming();
        // The clipboard's restore and the sounds end before the next dictation.
        spin([&] { return app.recordingState.get() == RecordingState::idle; }, 5000);
        spin([] { return false; }, static_cast<int>(OutputService::defaultRestoreDelay * 1000) + 500);
        state.ResumeTiming();
    }
    if (!stages.total.empty()) {
        state.counters["keyup_to_samples_ms"] = median(stages.samples);
        state.counters["samples_to_service_ms"] = median(stages.service);
        state.counters["service_to_posted_ms"] = median(stages.posted);
        // Parts of the above: the snapshot of the user's clipboard (below zero when it was in hand before the
        // text), then the write of the text once both are in hand.
        state.counters["service_to_snapshot_ms"] = median(stages.snapshot);
        state.counters["snapshot_to_written_ms"] = median(stages.written);
        state.counters["posted_to_target_ms"] = median(stages.target);
        state.counters["total_min_ms"] = *std::min_element(stages.total.begin(), stages.total.end());
        state.counters["total_median_ms"] = median(stages.total);
        state.counters["total_max_ms"] = *std::max_element(stages.total.begin(), stages.total.end());
        state.counters["own_beyond_paste_delay_ms"] = median(stages.total) - OutputService::pasteDelay * 1000;
    }
    speaker.kill();
    speaker.waitForFinished();
    blockCount.disconnect();
    recorderStop.disconnect();
    serviceDone.disconnect();
    delegate->applicationWillTerminate();
    delegate.reset();
    AudioBackend::setShared(nullptr);
    XCloseDisplay(d);
}
BENCHMARK_CAPTURE(BM_KeyUpToTextInAnotherWindow, qt_field, Editor::qt)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(BM_KeyUpToTextInAnotherWindow, gtk_field, Editor::gtk)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) { return bench::runWithQtMainLoop<QApplication>(argc, argv); }
