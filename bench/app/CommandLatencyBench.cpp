// The desktop's key bindings' road: `vandrel --start` / `--stop` run as a separate process against the real
// running application (X11 session of the test services, the virtual microphone, the fake libwhisper), timed
//   command process start -> exit (delivery; nothing else happens),
//   --start spawned -> the sound server announces our recording stream (subscription, not polling),
//   --stop spawned -> the text is in another program's field,
// beside a hand paste of the same text (clipboard set here, Ctrl+V by XTest) into the same field. The same
// road in the test services' sway (the application and its commands as the compositor's user when run as
// root, a GTK field on Wayland as the target); sway has no hand paste here (no keystroke tool). And in a real
// GNOME 43 and KDE Plasma 5.27 session (tests/support/sessions), where the keystroke goes through the
// RemoteDesktop portal: stop -> text beside a hand Ctrl+V into the same GTK field, with the paste taken apart
// (see desktopStopToTextAndHandPaste); --benchmark_filter=OnGnome or OnKde runs one of them.
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
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DesktopSession.h"
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
constexpr int kDesktopRounds = 7;
// The paste's fixed wait between the clipboard and the keystroke.
constexpr double kPasteDelayMs = 50;

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

// One paste's stamps from the application's "paste timing" line: "name@ms" moments and "name=ms" spans.
struct PasteStamps {
    std::vector<std::pair<QString, double>> moments, spans;
    bool ok = false;
    std::vector<double> all(const QString& name) const {
        std::vector<double> v;
        for (const auto& [n, t] : moments)
            if (n == name) v.push_back(t);
        return v;
    }
    double first(const QString& name) const {
        const auto v = all(name);
        return v.empty() ? -1 : v.front();
    }
    double total(const QString& name) const {
        double sum = 0;
        for (const auto& [n, t] : spans)
            if (n == name) sum += t;
        return sum;
    }
};

PasteStamps parseStamps(const QString& line) {
    PasteStamps s;
    for (const QString& word : line.section("paste timing:", 1).split(' ', Qt::SkipEmptyParts)) {
        const qsizetype at = word.indexOf('@'), eq = word.indexOf('=');
        if (at > 0) s.moments.emplace_back(word.left(at), word.mid(at + 1).toDouble());
        if (eq > 0) s.spans.emplace_back(word.left(eq), word.mid(eq + 1).toDouble());
    }
    s.ok = !s.all("send").empty() && !s.all("sent").empty();
    return s;
}

double steadyMs(Clock::time_point t) { return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count(); }

// The key calls of one paste as the session bus saw them (dbus-monitor, one clock): our call to the portal,
// the portal's to its backend and, on GNOME, the backend's to mutter, each with its answer.
struct BusHops {
    std::vector<double> frontend, backend, mutter, call, toBackend, toMutter;
};

BusHops busHops(const QStringList& lines) {
    struct Call {
        QString sender, serial, member;
        double at = 0;
    };
    std::vector<Call> calls;
    std::map<QString, double> returns;  // "destination serial" -> time
    for (const QString& line : lines) {
        const auto field = [&](const QString& name) {
            const qsizetype i = line.indexOf(name + "=");
            if (i < 0) return QString();
            const qsizetype from = i + name.size() + 1;
            qsizetype to = from;
            while (to < line.size() && line[to] != ' ' && line[to] != ';') ++to;
            return line.mid(from, to - from);
        };
        const double at = field("time").toDouble() * 1000;
        if (line.startsWith("method call ") && line.contains("member=NotifyKeyboardKeycode")) {
            const QString iface = field("interface");
            const QString which = iface == "org.freedesktop.portal.RemoteDesktop"        ? "portal"
                                  : iface == "org.freedesktop.impl.portal.RemoteDesktop" ? "backend"
                                                                                         : "mutter";
            calls.push_back({field("sender"), field("serial"), which, at});
        } else if (line.startsWith("method return ") || line.startsWith("error ")) {
            returns[field("destination") + " " + field("reply_serial")] = at;
        }
    }
    BusHops hops;
    const auto answered = [&](const Call& c) {
        const auto it = returns.find(c.sender + " " + c.serial);
        return it == returns.end() ? -1.0 : it->second - c.at;
    };
    // The n-th call of each kind belongs to the n-th key.
    std::vector<const Call*> portal, backend, mutter;
    for (const auto& c : calls)
        (c.member == "portal" ? portal : c.member == "backend" ? backend : mutter).push_back(&c);
    for (std::size_t i = 0; i < portal.size(); ++i) {
        hops.call.push_back(answered(*portal[i]));
        if (i < backend.size()) {
            hops.toBackend.push_back(backend[i]->at - portal[i]->at);
            hops.backend.push_back(answered(*backend[i]));
            if (i < mutter.size()) {
                hops.toMutter.push_back(mutter[i]->at - backend[i]->at);
                hops.mutter.push_back(answered(*mutter[i]));
            }
        }
    }
    return hops;
}

// The application in a real desktop session of tests/support/sessions (GNOME Shell 43 headless or
// kwin_wayland 5.27 headless, each with the real xdg-desktop-portal in front of the desktop's own backend),
// run as the session's user, with a GTK editor on Wayland to paste into, the user's keyboard (mutter's virtual
// keyboard; KWin's fake input) and an X11 program under XWayland holding the clipboard for the hand paste.
struct DesktopRun {
    enum class Desktop { gnome, kde };
    Desktop desktop;
    test::TempDir home;
    std::unique_ptr<test::DesktopSession> session;
    QProcessEnvironment clients, appEnv;
    std::unique_ptr<test::ChildProcess> app, editor, keyboard, owner, monitor;
    StreamWatch streams;
    QString program = qEnvironmentVariableIsSet("VANDREL_BENCH_APP") ? qEnvironmentVariable("VANDREL_BENCH_APP")
                                                                     : QString(VANDREL_APP_PATH);
    bool ok = false;

    explicit DesktopRun(Desktop which) : desktop(which) {
        if (qEnvironmentVariableIsEmpty("VANDREL_TEST_SHARED_PULSE_SERVER")) return;
        session = desktop == Desktop::gnome
                      ? std::make_unique<test::DesktopSession>(VANDREL_GNOME_SESSION_SCRIPT, QStringList{}, 120000)
                      : std::make_unique<test::DesktopSession>(VANDREL_KWIN_SESSION_SCRIPT,
                                                               QStringList{VANDREL_KWIN_FAKE_KEYS_PATH}, 60000);
        if (!session->ready()) {
            fail(session->report() + session->logs());
            return;
        }
        if (!writeHome()) {
            fail("cannot hand the home to the session's user");
            return;
        }
        QProcessEnvironment base;
        base.insert("PATH", "/usr/bin:/bin");
        base.insert("LANG", "C.UTF-8");
        clients = session->environment(base);
        appEnv = clients;
        const fs::path h = home.path();
        appEnv.insert("HOME", QString::fromStdString(h.string()));
        appEnv.insert("XDG_CONFIG_HOME", QString::fromStdString((h / "config").string()));
        appEnv.insert("XDG_DATA_HOME", QString::fromStdString((h / "data").string()));
        appEnv.insert("XDG_CACHE_HOME", QString::fromStdString((h / "cache").string()));
        appEnv.insert("VANDREL_WHISPER_LIBRARY", test::fakeWhisperLibraryPath());
        appEnv.insert("VANDREL_FAKE_WHISPER_TEXT", kText);
        appEnv.insert("VANDREL_PASTE_TIMING", "1");
        appEnv.insert("PULSE_SERVER", qEnvironmentVariable("VANDREL_TEST_SHARED_PULSE_SERVER"));
        for (const auto* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            appEnv.insert(name, "http://127.0.0.1:9");

        app = start("vandrel", program, {}, appEnv);
        if (!app->waitForOutput("[AppState] Microphone warmed up", 30000)) {
            fail(app->report());
            return;
        }
        if (!startKeyboard()) {
            fail(keyboard->report());
            return;
        }
        QProcessEnvironment gtk = clients;
        gtk.insert("GDK_BACKEND", "wayland");
        if (desktop == Desktop::kde) gtk.insert("NO_AT_BRIDGE", "1");
        editor = start("gtk editor", "/usr/bin/python3", {VANDREL_GTK_TARGET_PATH}, gtk);
        if (!editor->waitForLine("SHOWN")) {
            fail(editor->report());
            return;
        }
        // GNOME greets with the overview, which Escape leaves for the window.
        if (desktop == Desktop::gnome && shellSays("Main.overview.visible") == "true" && !keys({{1, 1}, {1, 0}})) {
            fail(keyboard->report());
            return;
        }
        if (!editor->waitForLine("READY")) {
            fail(editor->report());
            return;
        }
        QProcessEnvironment x11 = clients;
        x11.insert("GDK_BACKEND", "x11");
        x11.insert("NO_AT_BRIDGE", "1");
        owner = start("xwayland clipboard", "/usr/bin/python3", {VANDREL_XWAYLAND_CLIPBOARD_PATH}, x11);
        if (!owner->waitForLine("READY")) {
            fail(owner->report());
            return;
        }
        monitor = start(
            "bus monitor", "dbus-monitor",
            {"--session", "type='method_call',member='NotifyKeyboardKeycode'", "type='method_return'", "type='error'"},
            clients);
        if (!monitor->waitForOutput("member=NameLost")) {
            fail(monitor->report());
            return;
        }
        if (!test::spinUntil([this] { return streams.ready(); }, 5000)) {
            fail("no sound server");
            return;
        }
        ok = grantKeyboard();
    }

    void fail(const std::string& why) {
        std::fprintf(stderr, "%s\n", why.c_str());
        if (session) std::fprintf(stderr, "%s\n", session->logs().c_str());
    }

    bool writeHome() {
        const fs::path h = home.path();
        for (const auto* dir : {"config/Vandrel", "data/com.harstow.Vandrel/Models", "cache"})
            fs::create_directories(h / dir);
        std::ofstream(h / "config/Vandrel/defaults.json")
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 0.3, "hotkeyOption": "ctrlShiftSpace"})";
        test::writeTinyWhisperModel(h / "data/com.harstow.Vandrel/Models/ggml-large-v3-turbo-q5_0.bin");
        const auto user = session->otherUser();
        if (!user) return true;
        ::chmod(h.c_str(), 0755);
        if (::chown(h.c_str(), *user, *user) != 0) return false;
        for (const auto& entry : fs::recursive_directory_iterator(h))
            if (::chown(entry.path().c_str(), *user, *user) != 0) return false;
        return true;
    }

    std::unique_ptr<test::ChildProcess> start(const QString& name, const QString& exe, const QStringList& args,
                                              const QProcessEnvironment& environment) const {
        const auto [command, commandArgs] = session->asUser(exe, args);
        return std::make_unique<test::ChildProcess>(name, command, commandArgs, environment);
    }

    bool startKeyboard() {
        if (desktop == Desktop::gnome) {
            keyboard = start("virtual keyboard", "/usr/bin/python3", {VANDREL_GNOME_INPUT_PATH}, clients);
            return keyboard->waitForLine("READY");
        }
        keyboard = start("fake keys", VANDREL_KWIN_FAKE_KEYS_PATH, {}, clients);
        return keyboard->waitForLine("ready");
    }

    // Key events (evdev code, pressed) in order, back once the compositor has them all.
    bool keys(std::initializer_list<std::pair<int, int>> events) {
        const auto from = keyboard->outputSize();
        if (desktop == Desktop::gnome) {
            // One line per event for the virtual keyboard, each answered.
            int n = 0;
            for (const auto& [key, pressed] : events) {
                keyboard->write(QString("%1 %2").arg(pressed ? "press" : "release").arg(key));
                ++n;
            }
            return test::spinUntil([&] { return keyboard->linesSince(from).filter("OK").size() >= n; }, 10000);
        }
        int n = 0;
        for (const auto& [key, pressed] : events) {
            keyboard->write(QString("%1 %2").arg(key).arg(pressed));
            ++n;
        }
        return test::spinUntil([&] { return keyboard->linesSince(from).filter("ok").size() >= n; }, 10000);
    }

    bool keyboardSays(const QString& line) {
        const auto from = keyboard->outputSize();
        keyboard->write(line);
        return keyboard->waitForLine("OK", from, 12000);
    }

    std::optional<QString> shellSays(const QString& expression) {
        const auto [gdbus, args] =
            session->asUser("gdbus", {"call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                                      "/org/gnome/Shell", "--method", "org.gnome.Shell.Eval", expression});
        const auto answer = test::run(gdbus, args, clients);
        if (!answer || !answer->startsWith("(true, ")) return std::nullopt;
        return QString::fromUtf8(answer->mid(7).trimmed().chopped(1)).remove('\'');
    }

    bool command(const char* arg) {
        const auto [exe, args] = session->asUser(program, {QString::fromLatin1(arg)});
        return test::run(exe, args, appEnv).has_value();
    }

    // The first dictation opens the session of the portal's keyboard: GNOME asks in a dialog of its own,
    // answered as a user would (turn on "Allow remote interaction", Enter; share, Alt+S); Plasma grants it
    // without asking. Its paste is not measured.
    bool grantKeyboard() {
        if (!record()) return false;
        const auto from = editor->outputSize();
        if (!command("--stop")) return false;
        if (desktop == Desktop::gnome) {
            if (!keyboardSays("await Remote desktop") || !keyboardSays("tap 28") ||
                !keyboardSays("checked Allow remote interaction") || !keyboardSays("tap 56 31")) {
                fail(keyboard->report() + app->report());
                return false;
            }
        }
        if (!app->waitForOutput("the desktop granted the keyboard", 20000)) {
            fail(app->report());
            return false;
        }
        editor->waitForLine("READY", from, 5000);
        test::spinFor(1500);
        return true;
    }

    bool record() {
        const auto before = streams.lastNewStream();
        if (!command("--start")) return false;
        if (!test::spinUntil([&] { return streams.lastNewStream() != before; }, 5000)) return false;
        test::spinFor(4000);  // longer than the shortest quiet audio that is transcribed
        return true;
    }

    bool textArrived(qsizetype from, Clock::time_point* at) {
        const bool got = test::spinUntil([&] { return editor->linesSince(from).filter("TEXT:").size() > 0; }, 10000);
        *at = Clock::now();
        return got;
    }
};

DesktopRun& gnomeRun() {
    static DesktopRun r(DesktopRun::Desktop::gnome);
    return r;
}

DesktopRun& kdeRun() {
    static DesktopRun r(DesktopRun::Desktop::kde);
    return r;
}

// Rounds of `vandrel --stop` -> text in the GTK editor, each followed by a hand Ctrl+V of the same text held by
// an X11 program into the same editor, and the dictation's paste taken apart:
//   stop_to_clipboard_ms  --stop spawned -> the text on the clipboard: stop_delivery_ms until the application
//                         stops the recording, stop_to_paste_ms until the paste begins (the recording's end,
//                         the fake transcription), paste_to_clipboard_ms the clipboard's snapshot and write
//   paste_delay_ms        clipboard -> the keystroke's first call (the fixed 50 ms)
//   focus_lookup_ms       the lookups of the focused window for the keystroke's choice and road
//   key_calls_ms          the first key call -> the last one answered; key_call_ms, each one's round trip
//   last_key_to_text_ms   the last key answered -> the text in the editor
//   own_share_ms          stop_to_text minus the paste delay minus the hand paste
// and, from the session bus's own clock, each key call's hops: ours to the portal, the portal's to its backend
// (bus_to_backend_ms: our call -> the portal's call), the backend's answer, and on GNOME mutter's.
void desktopStopToTextAndHandPaste(benchmark::State& state, DesktopRun& run) {
    if (!run.ok) return state.SkipWithError("the desktop session or the application did not start (see stderr)");
    std::vector<double> text, hand, own, toClipboard, toPaste, delivery, snapshot, delay, focus, keyCalls, keyCall,
        lastKeyToText;
    std::vector<double> portalCall, toBackend, backendCall, toMutter, mutterCall;
    for (auto _ : state) {
        for (int i = 0; i < kDesktopRounds; ++i) {
            if (!run.record()) return state.SkipWithError("--start did not record");
            const auto from = run.editor->outputSize();
            const auto appFrom = run.app->outputSize();
            const auto busFrom = run.monitor->outputSize();
            const auto t0 = Clock::now();
            if (!run.command("--stop")) return state.SkipWithError("--stop was not delivered");
            Clock::time_point arrived;
            if (!run.textArrived(from, &arrived)) {
                std::fprintf(stderr, "%s\n", run.app->report().c_str());
                return state.SkipWithError("no text");
            }
            text.push_back(ms(t0, arrived));
            test::spinUntil([&] { return run.app->linesSince(appFrom).filter("paste timing:").size() > 0; }, 2000);
            test::spinFor(300);  // the bus monitor's lines
            const auto timing = run.app->linesSince(appFrom).filter("paste timing:");
            if (!timing.isEmpty()) {
                const PasteStamps s = parseStamps(timing.first());
                const auto keysAt = s.all("key");
                if (s.ok && !keysAt.empty()) {
                    toClipboard.push_back(s.first("clipboard") - steadyMs(t0));
                    toPaste.push_back(s.first("text") - s.first("stop"));
                    delivery.push_back(s.first("stop") - steadyMs(t0));
                    snapshot.push_back(s.first("clipboard") - s.first("text"));
                    delay.push_back(s.first("send") - s.first("clipboard"));
                    focus.push_back(s.total("focus"));
                    keyCalls.push_back(keysAt.back() - s.first("send"));
                    double previous = s.first("send");
                    for (const double k : keysAt) keyCall.push_back(k - std::exchange(previous, k));
                    lastKeyToText.push_back(steadyMs(arrived) - keysAt.back());
                }
            }
            const BusHops hops = busHops(run.monitor->linesSince(busFrom));
            for (auto [into, from] : {std::pair{&portalCall, &hops.call},
                                      {&toBackend, &hops.toBackend},
                                      {&backendCall, &hops.backend},
                                      {&toMutter, &hops.toMutter},
                                      {&mutterCall, &hops.mutter}})
                into->insert(into->end(), from->begin(), from->end());
            test::spinFor(700);  // the clipboard back

            const auto before = run.owner->outputSize();
            run.owner->write(kText + " ");
            if (!run.owner->waitForLine("SET", before, 5000))
                return state.SkipWithError("the X11 clipboard was not set");
            test::spinFor(300);
            const auto handFrom = run.editor->outputSize();
            const auto t1 = Clock::now();
            if (!run.keys({{29, 1}, {47, 1}, {47, 0}, {29, 0}})) return state.SkipWithError("no keyboard");
            if (!run.textArrived(handFrom, &arrived)) return state.SkipWithError("no text from the hand paste");
            hand.push_back(ms(t1, arrived));
            own.push_back(text.back() - kPasteDelayMs - hand.back());
            test::spinFor(300);
        }
    }
    state.counters["stop_to_text_ms"] = median(text);
    state.counters["hand_paste_ms"] = median(hand);
    state.counters["own_share_ms"] = median(own);
    state.counters["stop_to_clipboard_ms"] = median(toClipboard);
    state.counters["stop_to_paste_ms"] = median(toPaste);
    state.counters["stop_delivery_ms"] = median(delivery);
    state.counters["paste_to_clipboard_ms"] = median(snapshot);
    state.counters["paste_delay_ms"] = median(delay);
    state.counters["focus_lookup_ms"] = median(focus);
    state.counters["key_calls_ms"] = median(keyCalls);
    state.counters["key_call_ms"] = median(keyCall);
    state.counters["last_key_to_text_ms"] = median(lastKeyToText);
    state.counters["bus_portal_call_ms"] = median(portalCall);
    state.counters["bus_to_backend_ms"] = median(toBackend);
    state.counters["bus_backend_call_ms"] = median(backendCall);
    if (!toMutter.empty()) {
        state.counters["bus_to_mutter_ms"] = median(toMutter);
        state.counters["bus_mutter_call_ms"] = median(mutterCall);
    }
}

void BM_StopToTextAndHandPasteOnGnome(benchmark::State& state) { desktopStopToTextAndHandPaste(state, gnomeRun()); }
void BM_StopToTextAndHandPasteOnKde(benchmark::State& state) { desktopStopToTextAndHandPaste(state, kdeRun()); }

}  // namespace

BENCHMARK(BM_CommandProcessStartToExit)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToMicrophoneAndStopToText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandPaste)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToMicrophoneAndStopToTextOnSway)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopToTextAndHandPasteOnGnome)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopToTextAndHandPasteOnKde)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
