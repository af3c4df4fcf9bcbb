// The desktop's key bindings' road: `vandrel --start` / `--stop` run as a separate process against the real
// running application (X11 session of the test services, the virtual microphone, the fake libwhisper), timed
//   command process start -> exit (delivery; nothing else happens),
//   --start spawned -> the sound server announces our recording stream (subscription, not polling),
//   --stop spawned -> the text is in another program's field,
// beside a hand paste of the same text (clipboard set here, Ctrl+V by XTest) into the same field. The same
// road in the test services' sway (the application and its commands as the compositor's user when run as
// root, a GTK field on Wayland as the target); sway has no hand paste here (no keystroke tool).
// Medians over the rounds are the counters. Run by hand, on a Release build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=OFF
//       -DVANDREL_WHISPER_ROOT=build/_deps/whisper/install   (one line)
//   cmake --build build-release --target command_latency_bench
//   scripts/with-services.sh build-release/bin/command_latency_bench
// VANDREL_BENCH_APP=/path/to/vandrel measures another build of the program (say, an older one).
// clang-format off
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
// clang-format on

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>
#include <pulse/pulseaudio.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "support/ChildProcess.h"
#include "support/FakeWhisper.h"
#include "support/Spin.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

extern char** environ;

using namespace vandrel;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

const QString kText = "Hello from the command bench";
constexpr int kRounds = 10;

double ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The moment the sound server last announced a new recording stream, heard on its own thread.
class StreamWatch {
public:
    StreamWatch() {
        m_loop = pa_threaded_mainloop_new();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "command bench");
        pa_context_set_state_callback(m_context, &StreamWatch::onState, this);
        pa_context_set_subscribe_callback(m_context, &StreamWatch::onEvent, this);
        pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
        pa_threaded_mainloop_start(m_loop);
    }
    ~StreamWatch() {
        pa_threaded_mainloop_stop(m_loop);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_threaded_mainloop_free(m_loop);
    }
    bool ready() const { return m_ready; }
    std::int64_t lastNewStream() const { return m_last; }

private:
    static void onState(pa_context* c, void* self) {
        if (pa_context_get_state(c) != PA_CONTEXT_READY) return;
        pa_operation_unref(pa_context_subscribe(c, PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT, nullptr, nullptr));
        static_cast<StreamWatch*>(self)->m_ready = true;
    }
    static void onEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
        if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_NEW)
            static_cast<StreamWatch*>(self)->m_last = Clock::now().time_since_epoch().count();
    }
    pa_threaded_mainloop* m_loop;
    pa_context* m_context;
    std::atomic<bool> m_ready{false};
    std::atomic<std::int64_t> m_last{0};
};

// The application and the field it pastes into, started once for every benchmark.
struct Session {
    bool wayland;
    test::TempDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString program = qEnvironmentVariableIsSet("VANDREL_BENCH_APP") ? qEnvironmentVariable("VANDREL_BENCH_APP")
                                                                     : QString(VANDREL_APP_PATH);
    std::unique_ptr<test::ChildProcess> app, window;
    StreamWatch streams;
    bool ok = false;

    explicit Session(bool onWayland) : wayland(onWayland) {
        const fs::path h = home.path();
        for (const auto* dir : {"config/Vandrel", "data/com.harstow.Vandrel/Models", "cache", "runtime"})
            fs::create_directories(h / dir);
        ::chmod((h / "runtime").c_str(), 0700);
        std::ofstream(h / "config/Vandrel/defaults.json")
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 0.3})";
        test::writeTinyWhisperModel(h / "data/com.harstow.Vandrel/Models/ggml-large-v3-turbo-q5_0.bin");
        env.insert("HOME", QString::fromStdString(h.string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((h / "config").string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((h / "data").string()));
        env.insert("XDG_CACHE_HOME", QString::fromStdString((h / "cache").string()));
        if (!env.contains("PULSE_SERVER"))
            env.insert("PULSE_SERVER", "unix:" + env.value("XDG_RUNTIME_DIR") + "/pulse/native");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((h / "runtime").string()));
        env.insert("VANDREL_WHISPER_LIBRARY", test::fakeWhisperLibraryPath());
        env.insert("VANDREL_FAKE_WHISPER_TEXT", kText);
        for (const auto* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.insert(name, "http://127.0.0.1:9");
        if (wayland && !setUpWayland()) return;
        // On sway the seat has a keyboard, and a new window the focus, only once the application's virtual
        // keyboard exists: the application first there.
        if (wayland && !startApp()) return;
        if (wayland) {
            auto clients = env;
            clients.insert("GDK_BACKEND", "wayland");
            clients.remove("DISPLAY");
            clients.insert("XDG_RUNTIME_DIR", QString::fromStdString((h / "clients").string()));
            window = std::make_unique<test::ChildProcess>("gtk", "/usr/bin/python3",
                                                          QStringList{VANDREL_GTK_TARGET_PATH}, clients);
        } else {
            window = std::make_unique<test::ChildProcess>("window", VANDREL_E2E_WINDOW_PATH, QStringList{}, env);
        }
        if (!window->waitForOutput("READY")) {
            std::fprintf(stderr, "%s\n", window->report().c_str());
            return;
        }
        ok = wayland || startApp();
        test::spinUntil([] { return false; }, 1000);  // the warm-up's stream gone
    }

    bool startApp() {
        const auto [exe, args] = commandLine({});
        app = std::make_unique<test::ChildProcess>("vandrel", exe, args, env);
        const bool ready = app->waitForOutput("[AppState] Microphone warmed up", 30000) &&
                           test::spinUntil([this] { return streams.ready(); }, 5000);
        if (!ready) std::fprintf(stderr, "%s\n", app->report().c_str());
        return ready;
    }

    static bool asCompositorUser() { return ::geteuid() == 0; }

    // Sway's socket, the application's environment in its session, and its home for the compositor's user.
    bool setUpWayland() {
        const QString runtime = env.value("VANDREL_TEST_WAYLAND_RUNTIME"),
                      display = env.value("VANDREL_TEST_WAYLAND_DISPLAY");
        if (runtime.isEmpty() || display.isEmpty()) return false;
        const fs::path h = home.path();
        fs::create_directories(h / "clients");
        if (asCompositorUser()) {
            ::chmod(h.c_str(), 0755);
            for (const auto& entry : fs::recursive_directory_iterator(h))
                if (!entry.path().string().starts_with((h / "clients").string()))
                    if (::chown(entry.path().c_str(), 65534, 65534) != 0) return false;
        }
        env.insert("WAYLAND_DISPLAY", runtime + "/" + display);
        env.insert("DISPLAY", env.value("VANDREL_TEST_WAYLAND_X_DISPLAY"));
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("PULSE_SERVER", env.value("VANDREL_TEST_SHARED_PULSE_SERVER"));
        if (asCompositorUser()) env.remove("DBUS_SESSION_BUS_ADDRESS");
        return true;
    }

    std::pair<QString, QStringList> commandLine(const QStringList& args) const {
        if (!wayland || !asCompositorUser()) return {program, args};
        return {"/usr/bin/setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args};
    }

    // Starts `vandrel ARG` the way a key binding does (no Qt in between) and waits for its end.
    bool command(const char* arg, Clock::time_point* exited) {
        const auto [exe, args] = commandLine({QString::fromLatin1(arg)});
        std::vector<std::string> envStrings, argStrings{exe.toStdString()};
        for (const QString& kv : env.toStringList()) envStrings.push_back(kv.toStdString());
        for (const QString& a : args) argStrings.push_back(a.toStdString());
        std::vector<char*> envp, argv;
        for (auto& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);
        for (auto& s : argStrings) argv.push_back(s.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argStrings[0].c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return false;
        int status = 0;
        ::waitpid(pid, &status, 0);
        *exited = Clock::now();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Waits for the field to report `text` as a new line after byte `from`.
    bool textArrived(qsizetype from, Clock::time_point* at) {
        const bool got = test::spinUntil([&] { return window->linesSince(from).filter("TEXT:").size() > 0; }, 10000);
        *at = Clock::now();
        return got;
    }
};

Session& session() {
    static Session s(false);
    return s;
}

Session& swaySession() {
    static Session s(true);
    return s;
}

void BM_CommandProcessStartToExit(benchmark::State& state) {
    auto& s = session();
    if (!s.ok) return state.SkipWithError("the application did not start (run under scripts/with-services.sh)");
    std::vector<double> samples;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            const auto t0 = Clock::now();
            Clock::time_point t1;
            if (!s.command("--cancel", &t1)) return state.SkipWithError("--cancel was not delivered");
            samples.push_back(ms(t0, t1));
        }
    }
    state.counters["median_ms"] = median(samples);
}

void startToMicrophoneAndStopToText(benchmark::State& state, Session& s) {
    if (!s.ok) return state.SkipWithError("the application did not start (run under scripts/with-services.sh)");
    std::vector<double> delivered, microphone, text;
    for (auto _ : state) {
        for (int i = 0; i < kRounds; ++i) {
            const auto before = s.streams.lastNewStream();
            const auto t0 = Clock::now();
            Clock::time_point exited, arrived;
            if (!s.command("--start", &exited)) return state.SkipWithError("--start was not delivered");
            if (!test::spinUntil([&] { return s.streams.lastNewStream() != before; }, 5000))
                return state.SkipWithError("no recording stream");
            delivered.push_back(ms(t0, exited));
            microphone.push_back(ms(t0, Clock::time_point(Clock::duration(s.streams.lastNewStream()))));
            test::spinUntil([] { return false; }, 4000);  // longer than the shortest quiet audio that is transcribed
            const auto from = s.window->outputSize();
            const auto t2 = Clock::now();
            if (!s.command("--stop", &exited)) return state.SkipWithError("--stop was not delivered");
            if (!s.textArrived(from, &arrived)) {
                std::fprintf(stderr, "%s\n", s.app->report().c_str());
                return state.SkipWithError("no text");
            }
            text.push_back(ms(t2, arrived));
            test::spinUntil([] { return false; }, 800);  // the clipboard back, the stream closed
        }
    }
    state.counters["start_exit_ms"] = median(delivered);
    state.counters["start_to_microphone_ms"] = median(microphone);
    state.counters["stop_to_text_ms"] = median(text);
}

void BM_StartToMicrophoneAndStopToText(benchmark::State& state) { startToMicrophoneAndStopToText(state, session()); }

void BM_StartToMicrophoneAndStopToTextOnSway(benchmark::State& state) {
    startToMicrophoneAndStopToText(state, swaySession());
}

void BM_HandPaste(benchmark::State& state) {
    auto& s = session();
    if (!s.ok) return state.SkipWithError("the application did not start (run under scripts/with-services.sh)");
    Display* display = XOpenDisplay(nullptr);
    if (!display) return state.SkipWithError("no X display");
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L), v = XKeysymToKeycode(display, XK_v);
    std::vector<double> samples;
    for (auto _ : state) {
        for (int i = 0; i < kRounds; ++i) {
            QGuiApplication::clipboard()->setText(kText + " ");
            test::spinUntil([] { return false; }, 200);
            const auto from = s.window->outputSize();
            const auto t0 = Clock::now();
            XTestFakeKeyEvent(display, control, True, CurrentTime);
            XTestFakeKeyEvent(display, v, True, CurrentTime);
            XTestFakeKeyEvent(display, v, False, CurrentTime);
            XTestFakeKeyEvent(display, control, False, CurrentTime);
            XFlush(display);
            Clock::time_point arrived;
            if (!s.textArrived(from, &arrived)) return state.SkipWithError("no text from the hand paste");
            samples.push_back(ms(t0, arrived));
        }
    }
    XCloseDisplay(display);
    state.counters["paste_to_text_ms"] = median(samples);
}

}  // namespace

BENCHMARK(BM_CommandProcessStartToExit)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToMicrophoneAndStopToText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandPaste)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToMicrophoneAndStopToTextOnSway)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
