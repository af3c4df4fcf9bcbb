#include "platform/pulse/PulseAudioBackend.h"

#include <pulse/pulseaudio.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

#include "base/FdGuard.h"
#include "base/Log.h"
#include "base/MainLoop.h"
#include "speech/AudioProcessing.h"

namespace vandrel::pulse {

namespace {

// How long the server may take to accept a connection, open a stream or answer a request before whoever
// asks is told it cannot be used. A stalled server (stopped, or stuck in a restart) never answers at all.
constexpr pa_usec_t kAnswerBound = 3 * PA_USEC_PER_SEC;
// Reconnect attempts while the server is away, when no change of its socket told us to try sooner.
constexpr pa_usec_t kFirstRetry = 1 * PA_USEC_PER_SEC;
constexpr pa_usec_t kLongestRetry = 10 * PA_USEC_PER_SEC;
// Grace after the socket folder changed, so the new server is listening when we knock.
constexpr pa_usec_t kSocketSettle = 100 * PA_USEC_PER_MSEC;

// Holds the threaded loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

// Where the server's socket appears when it starts, as libpulse would look for it; empty when the server
// is not a local socket (then only the backoff brings us back).
std::filesystem::path serverSocketPath() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server) {
        std::string first(server);
        first = first.substr(0, first.find(' '));
        if (first.rfind("unix:", 0) == 0) return first.substr(5);
        if (!first.empty() && first.front() == '/') return first;
        return {};
    }
    if (const char* runtime = std::getenv("PULSE_RUNTIME_PATH"); runtime && *runtime)
        return std::filesystem::path(runtime) / "native";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / "pulse" / "native";
    return {};
}

// A source as the server described it, with what a stream on it needs.
struct SourceEntry {
    AudioSourceInfo info;
    pa_sample_spec spec{};
    pa_channel_map map{};
};

bool sameSources(const std::vector<SourceEntry>& a, const std::vector<SourceEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SourceEntry& x, const SourceEntry& y) {
        return x.info.id == y.info.id && x.info.uid == y.info.uid && x.info.name == y.info.name &&
               x.info.channels == y.info.channels && x.info.isMonitor == y.info.isMonitor && x.spec.rate == y.spec.rate;
    });
}

}  // namespace

struct PulseAudioBackend::Impl {
    // What the main thread is answered from; written by the pulse thread.
    struct Snapshot {
        bool known = false;  // the first connection attempt has ended
        bool reachable = false;
        std::string error = "connecting to the sound server";
        std::vector<SourceEntry> sources;
        std::string defaultName;
        std::string serverName;  // as the server gives them: "pulseaudio", "16.1"
        std::string serverVersion;

        const SourceEntry* byName(const std::string& name) const {
            for (const auto& s : sources)
                if (s.info.uid == name) return &s;
            return nullptr;
        }
        const SourceEntry* byId(std::uint32_t id) const {
            for (const auto& s : sources)
                if (s.info.id == id) return &s;
            return nullptr;
        }
    };

    explicit Impl(std::string name)
        : appName(std::move(name)),
          socketPath(serverSocketPath()),
          mainLoop(MainLoop::hasCurrent() ? &MainLoop::current() : nullptr) {
        loop = pa_threaded_mainloop_new();
        if (loop && pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
        }
        if (!loop) {
            snapshot.known = true;
            snapshot.error = "the audio thread could not be started";
            return;
        }
        api = pa_threaded_mainloop_get_api(loop);
    }

    ~Impl() {
        shutdown();
        if (loop) pa_threaded_mainloop_free(loop);
    }

    // Main thread. The pulse thread ends first, so that nothing it was doing is cut off from the main
    // loop halfway; then the hand-off closes.
    void shutdown() {
        if (loop && !stopped) {
            {
                LoopLock lock(loop);
                dropContext();
                cancelTimer(retryTimer);
                cancelTimer(connectTimer);
                if (watchEvent) api->io_free(watchEvent);
                watchEvent = nullptr;
            }
            pa_threaded_mainloop_stop(loop);
            stopped = true;
        }
        std::lock_guard lock(handOffMutex);
        mainLoop = nullptr;
    }

    // Any thread. Posts `job` to the main loop this backend was made on, or drops it once shut down.
    void handOff(std::function<void()> job) {
        std::lock_guard lock(handOffMutex);
        if (mainLoop) mainLoop->post(std::move(job));
    }

    // ---- one-shot timers on the pulse thread ----

    // Loop locked. Runs `fn` on the pulse thread after `delay` unless the returned event is cancelled first.
    pa_time_event* after(pa_usec_t delay, std::function<void()> fn) {
        timeval tv;
        pa_gettimeofday(&tv);
        pa_timeval_add(&tv, delay);
        auto* e = api->time_new(
            api, &tv,
            [](pa_mainloop_api* a, pa_time_event* ev, const timeval*, void* ud) {
                auto fn = std::move(*static_cast<std::function<void()>*>(ud));
                a->time_free(ev);
                fn();
            },
            new std::function<void()>(std::move(fn)));
        api->time_set_destroy(
            e, [](pa_mainloop_api*, pa_time_event*, void* ud) { delete static_cast<std::function<void()>*>(ud); });
        return e;
    }

    void cancelTimer(pa_time_event*& e) {
        if (e) api->time_free(e);
        e = nullptr;
    }

    // ---- the connection ----

    // Loop locked.
    void dropContext() {
        if (!context) return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
        refreshing = false;
        refreshAgain = false;
    }

    bool ready() const { return context && pa_context_get_state(context) == PA_CONTEXT_READY; }

    // Loop locked. Begins a connection; its end arrives in onContextState or the bound's timer.
    void connect() {
        cancelTimer(retryTimer);
        dropContext();
        context = pa_context_new(api, appName.c_str());
        if (!context) return down("could not create a sound server connection");
        pa_context_set_state_callback(context, &Impl::onContextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            // The state callback may have said so already, and dropped the context.
            if (context) down(pa_strerror(pa_context_errno(context)));
            return;
        }
        cancelTimer(connectTimer);
        connectTimer = after(kAnswerBound, [this] {
            connectTimer = nullptr;
            if (!ready()) notAnswering();
        });
    }

    // Pulse thread.
    static void onContextState(pa_context* c, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_READY) {
            self->cancelTimer(self->connectTimer);
            self->retryDelay = kFirstRetry;
            pa_context_set_subscribe_callback(c, &Impl::onSubscription, self);
            const auto mask =
                static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
            if (pa_operation* op = pa_context_subscribe(c, mask, nullptr, nullptr)) pa_operation_unref(op);
            self->refresh();
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            self->down(pa_strerror(pa_context_errno(c)));
        }
    }

    // Loop locked. The server is gone or refused us: forget what it said, say so once, and wait for it to
    // come back without asking it in a loop.
    void down(const std::string& why) {
        dropContext();
        cancelTimer(connectTimer);
        sayUnreachable(why);
        Snapshot gone;
        gone.known = true;
        gone.error = why;
        publish(std::move(gone));
        watchSocket();
        scheduleRetry(retryDelay);
        retryDelay = std::min(retryDelay * 2, kLongestRetry);
    }

    void scheduleRetry(pa_usec_t delay) {
        cancelTimer(retryTimer);
        retryTimer = after(delay, [this] {
            retryTimer = nullptr;
            connect();
        });
    }

    // Loop locked. Watches the socket's folder (or, while there is none, the folder above it, to see it
    // made): a server that starts puts its socket there, and that is when to try again.
    void watchSocket() {
        if (socketPath.empty()) return;
        if (!watchFd) {
            watchFd.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
            if (!watchFd) return;
            watchEvent = api->io_new(api, watchFd.get(), PA_IO_EVENT_INPUT, &Impl::onSocketFolder, this);
        }
        const auto mask = IN_CREATE | IN_MOVED_TO;
        const auto folder = socketPath.parent_path();
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) {
            if (aboveWatch >= 0) inotify_rm_watch(watchFd.get(), aboveWatch);
            aboveWatch = -1;
            inotify_add_watch(watchFd.get(), folder.c_str(), mask);
        } else if (aboveWatch < 0) {
            aboveWatch = inotify_add_watch(watchFd.get(), folder.parent_path().c_str(), mask);
        }
    }

    static void onSocketFolder(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        alignas(inotify_event) char buf[4096];
        while (::read(fd, buf, sizeof buf) > 0) {
        }
        if (self->reach != Reach::unreachable || self->context) return;
        self->watchSocket();  // the socket's folder may be new
        std::error_code ec;
        if (!std::filesystem::exists(self->socketPath, ec)) return;
        self->retryDelay = kFirstRetry;
        self->scheduleRetry(kSocketSettle);
    }

    void sayUnreachable(const std::string& why) {
        if (reach == Reach::reachable) log("PulseAudio", "sound server went away: " + why);
        if (reach == Reach::unknown) log("PulseAudio", "sound server not reachable: " + why);
        reach = Reach::unreachable;
    }

    // Loop locked. The server took our connection or a request and did not answer in time (it is stopped,
    // or stuck). Whoever asks from now on is told at once that it cannot be used. The connection stays:
    // the server's first answer after the stall (to the connection, or to the refresh asked here) makes it
    // usable again, and a server that dies instead ends the connection and we wait for a new one.
    void notAnswering() {
        if (!context) return;
        const std::string why = "the sound server stopped answering";
        sayUnreachable(why);
        Snapshot stale = read();
        stale.known = true;
        stale.reachable = false;
        stale.error = why;
        publish(std::move(stale));
        refresh();
    }

    // ---- what the server says ----

    static void onSubscription(pa_context*, pa_subscription_event_type_t t, uint32_t, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SOURCE || facility == PA_SUBSCRIPTION_EVENT_SERVER) self->refresh();
    }

    // Loop locked. Reads the default source and the source list, then publishes them together.
    void refresh() {
        if (!ready()) return;
        if (refreshing) {
            refreshAgain = true;
            return;
        }
        refreshing = true;
        pending = Snapshot{};
        auto onServer = [](pa_context* c, const pa_server_info* info, void* ud) {
            auto* self = static_cast<Impl*>(ud);
            self->pending.defaultName = info && info->default_source_name ? info->default_source_name : "";
            self->pending.serverName = info && info->server_name ? info->server_name : "";
            self->pending.serverVersion = info && info->server_version ? info->server_version : "";
            if (pa_operation* op = pa_context_get_source_info_list(c, &Impl::onSourceInfo, self))
                pa_operation_unref(op);
        };
        if (pa_operation* op = pa_context_get_server_info(context, onServer, this)) pa_operation_unref(op);
    }

    static void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        if (eol == 0 && info) {
            self->pending.sources.push_back(
                {{info->index, info->name ? info->name : "", info->description ? info->description : "",
                  info->sample_spec.channels, info->monitor_of_sink != PA_INVALID_INDEX},
                 info->sample_spec,
                 info->channel_map});
            return;
        }
        if (!self->refreshing) return;
        self->refreshing = false;
        if (eol < 0) return;  // the connection broke; down() says so
        Snapshot fresh = std::move(self->pending);
        fresh.known = true;
        fresh.reachable = true;
        fresh.error.clear();
        if (self->reach == Reach::unreachable) log("PulseAudio", "sound server reachable again");
        self->reach = Reach::reachable;
        self->publish(std::move(fresh));
        if (std::exchange(self->refreshAgain, false)) self->refresh();
    }

    // Pulse thread. Replaces the snapshot and tells the main loop what changed.
    void publish(Snapshot fresh) {
        bool sourcesDiffer = false, defaultDiffers = false;
        {
            std::lock_guard lock(snapshotMutex);
            sourcesDiffer = !sameSources(snapshot.sources, fresh.sources) || snapshot.reachable != fresh.reachable;
            defaultDiffers = snapshot.defaultName != fresh.defaultName;
            snapshot = std::move(fresh);
        }
        if (sourcesDiffer) postToMain([](AudioBackend& b) { b.sourcesChanged.emit(); });
        if (defaultDiffers) postToMain([](AudioBackend& b) { b.defaultInputChanged.emit(); });
        tellServerAnswer();
    }

    // Loop locked. Hands the server's name to whoever waits for it, once the server has given it.
    void tellServerAnswer() {
        if (!serverAnswer) return;
        const Snapshot known = read();
        if (!known.reachable || known.serverName.empty()) return;
        postToMain([then = std::exchange(serverAnswer, nullptr), name = known.serverName,
                    version = known.serverVersion](AudioBackend&) { then(name, version); });
    }

    Snapshot read() {
        std::lock_guard lock(snapshotMutex);
        return snapshot;
    }

    void postToMain(std::function<void(AudioBackend&)> fn) {
        std::lock_guard lock(ownerMutex);
        if (!owner) return;
        handOff([alive = alive, owner = owner, fn = std::move(fn)] {
            if (auto held = alive.lock()) fn(*owner);
        });
    }

    std::string appName;
    std::filesystem::path socketPath;
    pa_threaded_mainloop* loop = nullptr;
    pa_mainloop_api* api = nullptr;
    bool stopped = false;  // main thread

    // The application's main loop, taken on the main thread when the backend was made, not looked up from
    // the pulse thread: the application clears the current loop when it quits.
    std::mutex handOffMutex;
    MainLoop* mainLoop;

    // Touched with the loop locked.
    pa_context* context = nullptr;
    pa_time_event* connectTimer = nullptr;
    pa_time_event* retryTimer = nullptr;
    pa_usec_t retryDelay = kFirstRetry;
    FdGuard watchFd;
    int aboveWatch = -1;
    pa_io_event* watchEvent = nullptr;
    bool refreshing = false;
    bool refreshAgain = false;
    Snapshot pending;
    std::function<void(const std::string&, const std::string&)> serverAnswer;
    // What the log last said of the server; unknown until the first connection ended.
    enum class Reach { unknown, reachable, unreachable } reach = Reach::unknown;

    std::mutex snapshotMutex;
    Snapshot snapshot;

    std::mutex ownerMutex;
    PulseAudioBackend* owner = nullptr;
    LifeToken::Weak alive;
};

namespace {

// Runs a handler on the main loop at most once, whichever of the server's answer and the bound comes first.
template <class... Args>
struct OneAnswer {
    std::function<void(Args...)> handler;
    pa_time_event* bound = nullptr;

    // Loop locked; false when it was answered already.
    bool answer(PulseAudioBackend::Impl* impl, Args... args) {
        if (!handler) return false;
        if (bound) impl->api->time_free(bound);
        bound = nullptr;
        // The handler may own a stream, which must end on the main thread: the posted job may be copied, and
        // a copy dropped here, so the copies share one slot that the main thread empties.
        auto slot = std::make_shared<std::function<void(Args...)>>(std::move(handler));
        handler = nullptr;
        impl->handOff([slot, args...]() mutable { std::exchange(*slot, nullptr)(std::move(args)...); });
        return true;
    }
};

class PulseInputStream final : public AudioInputStream {
public:
    explicit PulseInputStream(std::shared_ptr<PulseAudioBackend::Impl> impl) : m_impl(std::move(impl)) {}
    ~PulseInputStream() override { stop(); }

    AudioInputFormat inputFormat() override {
        const auto known = m_impl->read();
        const SourceEntry* source = known.reachable ? known.byName(known.defaultName) : nullptr;
        if (!source) return {};
        m_sourceName = source->info.uid;
        m_spec = source->spec;
        m_map = source->map;
        return {m_spec.channels, static_cast<double>(m_spec.rate)};
    }

    void start(std::size_t blockFrames, BlockHandler onBlock, std::function<void()> onConfigurationChange,
               StartHandler onStarted) override {
        m_started = std::make_shared<OneAnswer<std::optional<std::string>>>();
        m_started->handler = std::move(onStarted);
        auto fail = [this](std::string why) { m_started->answer(m_impl.get(), std::move(why)); };
        if (!m_impl->loop) return failWithoutLoop(m_impl->read().error);
        if (m_spec.channels == 0 || m_spec.rate == 0) return failWithoutLoop("no input format");
        LoopLock lock(m_impl->loop);
        if (m_stream) return fail("already started");
        if (!m_impl->ready()) return fail(m_impl->read().error);

        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, m_spec.rate, m_spec.channels};
        const pa_channel_map* map = pa_channel_map_valid(&m_map) && m_map.channels == spec.channels ? &m_map : nullptr;
        m_stream = pa_stream_new(m_impl->context, "Dictation", &spec, map);
        if (!m_stream) return fail(pa_strerror(pa_context_errno(m_impl->context)));
        m_assembler = std::make_unique<AudioBlockAssembler>(blockFrames, spec.channels, std::move(onBlock));
        m_onConfigurationChange = std::move(onConfigurationChange);
        pa_stream_set_state_callback(m_stream, &PulseInputStream::onState, this);
        pa_stream_set_read_callback(m_stream, &PulseInputStream::onRead, this);
        pa_stream_set_moved_callback(m_stream, &PulseInputStream::onMoved, this);
        pa_stream_set_suspended_callback(m_stream, &PulseInputStream::onSuspended, this);

        // Small fragments keep the wait for the first block and the tail left on the server short.
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(50 * 1000, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_record(m_stream, m_sourceName.c_str(), &attr, flags) < 0) {
            std::string error = pa_strerror(pa_context_errno(m_impl->context));
            release();
            return fail(std::move(error));
        }
        std::weak_ptr<OneAnswer<std::optional<std::string>>> weak = m_started;
        m_started->bound = m_impl->after(kAnswerBound, [impl = m_impl.get(), weak] {
            auto started = weak.lock();
            if (!started) return;
            started->bound = nullptr;
            if (started->answer(impl, std::string("the sound server did not answer"))) impl->notAnswering();
        });
    }

    void stop() override {
        if (!m_impl->loop) return;
        LoopLock lock(m_impl->loop);
        if (!m_stream) return;
        m_running = false;
        // Whatever reached us is part of the recording: read it and hand the partial block over too.
        if (pa_stream_get_state(m_stream) == PA_STREAM_READY) readAvailable();
        if (m_assembler) m_assembler->flush();
        release();
    }

private:
    void failWithoutLoop(std::string why) {
        MainLoop::current().post([h = std::move(m_started->handler), why] { h(why); });
    }

    // Loop locked.
    void release() {
        if (m_started && m_started->bound) m_impl->cancelTimer(m_started->bound);
        if (!m_stream) return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        pa_stream_set_suspended_callback(m_stream, nullptr, nullptr);
        if (pa_stream_get_state(m_stream) == PA_STREAM_CREATING) {
            // Not created yet (a stalled server): it cannot be ended before it exists, and once it exists it
            // would record for nobody until the connection closes. End it as soon as the server made it.
            pa_stream_set_state_callback(m_stream, &PulseInputStream::endAbandoned, nullptr);
        } else {
            if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream))) pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        m_stream = nullptr;
        m_running = false;
    }

    void readAvailable() {
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0) return;
            // A hole (data null) is dropped; there is nothing to record from it.
            if (data) m_assembler->push(static_cast<const float*>(data), bytes / sizeof(float));
            pa_stream_drop(m_stream);
        }
    }

    void configurationChanged() {
        if (m_running && m_onConfigurationChange) {
            m_running = false;  // one notice per stream is enough: the recorder replaces it
            m_onConfigurationChange();
        }
    }

    static void onState(pa_stream* s, void* ud) {
        auto* self = static_cast<PulseInputStream*>(ud);
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY) {
            self->m_running = self->m_started->answer(self->m_impl.get(), std::nullopt) || self->m_running;
        } else if (!PA_STREAM_IS_GOOD(state)) {
            if (!self->m_started->answer(self->m_impl.get(),
                                         std::string(pa_strerror(pa_context_errno(pa_stream_get_context(s))))))
                self->configurationChanged();
        }
    }
    // Holds the last reference of a stream released while the server was still creating it.
    static void endAbandoned(pa_stream* s, void*) {
        const pa_stream_state_t state = pa_stream_get_state(s);
        if (state == PA_STREAM_READY) {
            pa_stream_disconnect(s);  // comes back here as terminated
        } else if (!PA_STREAM_IS_GOOD(state)) {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_unref(s);
        }
    }
    static void onRead(pa_stream*, std::size_t, void* ud) { static_cast<PulseInputStream*>(ud)->readAvailable(); }
    static void onMoved(pa_stream*, void* ud) { static_cast<PulseInputStream*>(ud)->configurationChanged(); }
    static void onSuspended(pa_stream* s, void* ud) {
        if (pa_stream_is_suspended(s) == 1) static_cast<PulseInputStream*>(ud)->configurationChanged();
    }

    std::shared_ptr<PulseAudioBackend::Impl> m_impl;
    std::string m_sourceName;
    pa_sample_spec m_spec{};
    pa_channel_map m_map{};
    pa_stream* m_stream = nullptr;
    std::unique_ptr<AudioBlockAssembler> m_assembler;
    std::function<void()> m_onConfigurationChange;
    std::shared_ptr<OneAnswer<std::optional<std::string>>> m_started;
    bool m_running = false;
};

}  // namespace

PulseAudioBackend::PulseAudioBackend(std::string applicationName)
    : m_impl(std::make_shared<Impl>(std::move(applicationName))) {
    {
        std::lock_guard lock(m_impl->ownerMutex);
        m_impl->owner = this;
        m_impl->alive = m_life.weak();
    }
    if (!m_impl->loop) return;
    LoopLock lock(m_impl->loop);
    m_impl->connect();
}

PulseAudioBackend::~PulseAudioBackend() {
    {
        std::lock_guard lock(m_impl->ownerMutex);
        m_impl->owner = nullptr;
    }
    m_impl->shutdown();
}

void PulseAudioBackend::shutdown() { m_impl->shutdown(); }

std::optional<std::string> PulseAudioBackend::connectionError() {
    const auto known = m_impl->read();
    if (known.reachable) return std::nullopt;
    return known.error;
}

std::vector<AudioSourceInfo> PulseAudioBackend::sources() {
    std::vector<AudioSourceInfo> out;
    for (auto& s : m_impl->read().sources) out.push_back(std::move(s.info));
    return out;
}

std::optional<std::uint32_t> PulseAudioBackend::defaultInputDevice() {
    const auto known = m_impl->read();
    if (const SourceEntry* source = known.byName(known.defaultName)) return source->info.id;
    return std::nullopt;
}

void PulseAudioBackend::setDefaultInputDevice(std::uint32_t id, std::function<void(bool)> done) {
    auto pending = std::make_shared<OneAnswer<bool>>();
    pending->handler = std::move(done);
    if (!m_impl->loop) {
        MainLoop::current().post([h = std::move(pending->handler)] { h(false); });
        return;
    }
    LoopLock lock(m_impl->loop);
    std::string name;
    bool usable = false;
    {
        std::lock_guard snapshotLock(m_impl->snapshotMutex);
        if (const SourceEntry* source = m_impl->snapshot.byId(id)) name = source->info.uid;
        usable = !name.empty() && m_impl->snapshot.reachable && m_impl->ready();
        // The stream opened next reads the default from here; the server's own word follows as an event.
        if (usable) m_impl->snapshot.defaultName = name;
    }
    if (!usable) {
        pending->answer(m_impl.get(), false);
        return;
    }
    // The answer and the bound share the handler; whichever comes first answers.
    struct Request {
        std::shared_ptr<OneAnswer<bool>> pending;
        PulseAudioBackend::Impl* impl;
        std::string name;
    };
    auto request = std::make_unique<Request>(Request{pending, m_impl.get(), name});
    pa_operation* op = pa_context_set_default_source(
        m_impl->context, name.c_str(),
        [](pa_context*, int success, void* ud) {
            auto* r = static_cast<Request*>(ud);
            if (!success) log("PulseAudio", "the server refused to make \"" + r->name + "\" the default source");
            r->pending->answer(r->impl, success != 0);
        },
        request.get());
    if (!op) {
        pending->answer(m_impl.get(), false);
        return;
    }
    // The operation owns the request from here. It ends once, answered or not: a connection that drops
    // first cancels it without calling the answer above, and that is a no.
    pa_operation_set_state_callback(
        op,
        [](pa_operation* o, void* ud) {
            if (pa_operation_get_state(o) == PA_OPERATION_RUNNING) return;
            std::unique_ptr<Request> r(static_cast<Request*>(ud));
            r->pending->answer(r->impl, false);
        },
        request.release());
    pa_operation_unref(op);
    std::weak_ptr<OneAnswer<bool>> weak = pending;
    pending->bound = m_impl->after(kAnswerBound, [impl = m_impl.get(), weak] {
        auto p = weak.lock();
        if (!p) return;
        p->bound = nullptr;
        if (p->answer(impl, false)) impl->notAnswering();
    });
}

void PulseAudioBackend::whenServerAnswers(
    std::function<void(const std::string& name, const std::string& version)> then) {
    if (!m_impl->loop) return;
    LoopLock lock(m_impl->loop);
    m_impl->serverAnswer = std::move(then);
    m_impl->tellServerAnswer();
}

std::unique_ptr<AudioInputStream> PulseAudioBackend::makeInputStream() {
    return std::make_unique<PulseInputStream>(m_impl);
}

}  // namespace vandrel::pulse
