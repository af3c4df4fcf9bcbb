#include "platform/pulse/PulseAudioBackend.h"

#include <pulse/pulseaudio.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <utility>

#include "base/Log.h"
#include "base/MainLoop.h"
#include "speech/AudioProcessing.h"

namespace vandrel::pulse {

namespace {

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

}  // namespace

struct PulseAudioBackend::Impl {
    explicit Impl(std::string name) : appName(std::move(name)) {
        loop = pa_threaded_mainloop_new();
        if (loop && pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
        }
        if (!loop) lastError = "the audio thread could not be started";
    }

    ~Impl() {
        if (!loop) return;
        {
            LoopLock lock(loop);
            dropContext();
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    // Loop locked.
    void dropContext() {
        if (!context) return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }

    // Loop locked. Connects when there is no usable connection.
    bool ensureConnected() {
        if (!loop) return false;
        if (context && pa_context_get_state(context) == PA_CONTEXT_READY) return true;
        dropContext();
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), appName.c_str());
        if (!context) {
            lastError = "could not create a sound server connection";
            return unreachable();
        }
        pa_context_set_state_callback(context, &Impl::onContextState, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            lastError = pa_strerror(pa_context_errno(context));
            dropContext();
            return unreachable();
        }
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                lastError = pa_strerror(pa_context_errno(context));
                dropContext();
                return unreachable();
            }
            pa_threaded_mainloop_wait(loop);
        }
        lastError.clear();
        if (reach == Reach::unreachable) log("PulseAudio", "sound server reachable again");
        reach = Reach::reachable;
        pa_context_set_subscribe_callback(context, &Impl::onSubscription, this);
        const auto mask =
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* op = pa_context_subscribe(context, mask, nullptr, nullptr)) pa_operation_unref(op);
        defaultSourceName = queryDefaultSourceName().value_or("");
        return true;
    }

    // Loop locked. Whoever asks while no server runs (the guide asks every second) is answered from here;
    // the log hears of it once, when the server is first missed.
    bool unreachable() {
        if (reach != Reach::unreachable) log("PulseAudio", "sound server not reachable: " + lastError);
        reach = Reach::unreachable;
        return false;
    }

    // Loop locked. Waits for `op` to finish; false when it was cancelled (the connection broke).
    bool await(pa_operation* op) {
        if (!op) return false;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop);
        const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
        pa_operation_unref(op);
        return done;
    }

    std::optional<std::string> queryDefaultSourceName() {
        struct Query {
            Impl* self;
            std::optional<std::string> name;
        } q{this, std::nullopt};
        auto cb = [](pa_context*, const pa_server_info* info, void* ud) {
            auto* q = static_cast<Query*>(ud);
            if (info && info->default_source_name) q->name = info->default_source_name;
            pa_threaded_mainloop_signal(q->self->loop, 0);
        };
        if (!await(pa_context_get_server_info(context, cb, &q))) return std::nullopt;
        return q.name;
    }

    struct SourceQuery {
        Impl* self;
        std::vector<AudioSourceInfo> found;
        std::string firstName;
        pa_sample_spec spec{};
        pa_channel_map map{};
    };

    static void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* ud) {
        auto* q = static_cast<SourceQuery*>(ud);
        if (eol == 0 && info) {
            if (q->found.empty()) {
                q->firstName = info->name ? info->name : "";
                q->spec = info->sample_spec;
                q->map = info->channel_map;
            }
            q->found.push_back({info->index, info->name ? info->name : "", info->description ? info->description : "",
                                info->sample_spec.channels, info->monitor_of_sink != PA_INVALID_INDEX});
            return;
        }
        pa_threaded_mainloop_signal(q->self->loop, 0);
    }

    // Loop thread.
    static void onContextState(pa_context* c, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        pa_threaded_mainloop_signal(self->loop, 0);
        const pa_context_state_t state = pa_context_get_state(c);
        // The server went away after we were connected: the device list is gone with it.
        if ((state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) && self->wasReady)
            self->postToMain(&AudioBackend::sourcesChanged);
        if ((state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) && self->reach == Reach::reachable) {
            log("PulseAudio", std::string("sound server went away: ") + pa_strerror(pa_context_errno(c)));
            self->reach = Reach::unreachable;
        }
        if (state == PA_CONTEXT_READY) {
            self->wasReady = true;
            self->askServerInfo(c);
        }
    }

    // Loop locked. The server's name for whoever waits for it; a connection that breaks first leaves them
    // waiting for the next one.
    void askServerInfo(pa_context* c) {
        if (!serverAnswer) return;
        auto cb = [](pa_context*, const pa_server_info* info, void* ud) {
            auto* self = static_cast<Impl*>(ud);
            if (!info || !self->serverAnswer) return;
            self->postToMain(
                [then = std::exchange(self->serverAnswer, nullptr),
                 name = std::string(info->server_name ? info->server_name : ""),
                 version = std::string(info->server_version ? info->server_version : "")] { then(name, version); });
        };
        if (pa_operation* op = pa_context_get_server_info(c, cb, this)) pa_operation_unref(op);
    }

    static void onSubscription(pa_context* c, pa_subscription_event_type_t t, uint32_t, void* ud) {
        auto* self = static_cast<Impl*>(ud);
        const auto facility = t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto type = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SOURCE &&
            (type == PA_SUBSCRIPTION_EVENT_NEW || type == PA_SUBSCRIPTION_EVENT_REMOVE)) {
            self->postToMain(&AudioBackend::sourcesChanged);
        } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            // Server events also cover the default sink and other settings: only a new default source counts.
            auto cb = [](pa_context*, const pa_server_info* info, void* ud) {
                auto* self = static_cast<Impl*>(ud);
                const std::string name = info && info->default_source_name ? info->default_source_name : "";
                if (name != self->defaultSourceName) {
                    self->defaultSourceName = name;
                    self->postToMain(&AudioBackend::defaultInputChanged);
                }
            };
            if (pa_operation* op = pa_context_get_server_info(c, cb, self)) pa_operation_unref(op);
        }
    }

    void postToMain(Signal<> AudioBackend::*signal) {
        std::lock_guard lock(ownerMutex);
        if (owner) postToMain([owner = owner, signal] { (owner->*signal).emit(); });
    }

    // Runs `job` on the main loop while the backend lives.
    void postToMain(std::function<void()> job) {
        if (!MainLoop::hasCurrent()) return;
        MainLoop::current().post([alive = alive, job = std::move(job)] {
            if (auto held = alive.lock()) job();
        });
    }

    std::string appName;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;  // touched with the loop locked
    std::string lastError;
    std::string defaultSourceName;
    bool wasReady = false;
    std::function<void(const std::string&, const std::string&)> serverAnswer;  // touched with the loop locked
    // What the log last said of the server; unknown until the first connection is tried.
    enum class Reach { unknown, reachable, unreachable } reach = Reach::unknown;

    std::mutex ownerMutex;
    PulseAudioBackend* owner = nullptr;
    LifeToken::Weak alive;
};

namespace {

class PulseInputStream final : public AudioInputStream {
public:
    explicit PulseInputStream(std::shared_ptr<PulseAudioBackend::Impl> impl) : m_impl(std::move(impl)) {}
    ~PulseInputStream() override { stop(); }

    AudioInputFormat inputFormat() override {
        if (!m_impl->loop) return {};
        LoopLock lock(m_impl->loop);
        if (!m_impl->ensureConnected()) return {};
        auto name = m_impl->queryDefaultSourceName();
        if (!name || name->empty()) return {};
        PulseAudioBackend::Impl::SourceQuery q{m_impl.get(), {}, {}, {}, {}};
        if (!m_impl->await(pa_context_get_source_info_by_name(m_impl->context, name->c_str(),
                                                              &PulseAudioBackend::Impl::onSourceInfo, &q)) ||
            q.found.empty())
            return {};
        m_sourceName = q.firstName;
        m_spec = q.spec;
        m_map = q.map;
        return {m_spec.channels, static_cast<double>(m_spec.rate)};
    }

    std::optional<std::string> start(std::size_t blockFrames, BlockHandler onBlock,
                                     std::function<void()> onConfigurationChange) override {
        if (!m_impl->loop) return m_impl->lastError;
        if (m_spec.channels == 0 || m_spec.rate == 0) return std::string("no input format");
        LoopLock lock(m_impl->loop);
        if (m_stream) return std::string("already started");
        if (!m_impl->ensureConnected()) return m_impl->lastError;

        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, m_spec.rate, m_spec.channels};
        const pa_channel_map* map = pa_channel_map_valid(&m_map) && m_map.channels == spec.channels ? &m_map : nullptr;
        m_stream = pa_stream_new(m_impl->context, "Dictation", &spec, map);
        if (!m_stream) return std::string(pa_strerror(pa_context_errno(m_impl->context)));
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
            return error;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY) break;
            if (!PA_STREAM_IS_GOOD(state)) {
                std::string error = pa_strerror(pa_context_errno(m_impl->context));
                release();
                return error;
            }
            pa_threaded_mainloop_wait(m_impl->loop);
        }
        m_running = true;
        return std::nullopt;
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
    // Loop locked.
    void release() {
        if (!m_stream) return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        pa_stream_set_suspended_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream))) pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
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
        pa_threaded_mainloop_signal(self->m_impl->loop, 0);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) self->configurationChanged();
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
    bool m_running = false;
};

}  // namespace

PulseAudioBackend::PulseAudioBackend(std::string applicationName)
    : m_impl(std::make_shared<Impl>(std::move(applicationName))) {
    std::lock_guard lock(m_impl->ownerMutex);
    m_impl->owner = this;
    m_impl->alive = m_life.weak();
}

PulseAudioBackend::~PulseAudioBackend() {
    std::lock_guard lock(m_impl->ownerMutex);
    m_impl->owner = nullptr;
}

std::optional<std::string> PulseAudioBackend::connectionError() {
    if (!m_impl->loop) return m_impl->lastError;
    LoopLock lock(m_impl->loop);
    if (m_impl->ensureConnected()) return std::nullopt;
    return m_impl->lastError;
}

std::vector<AudioSourceInfo> PulseAudioBackend::sources() {
    if (!m_impl->loop) return {};
    LoopLock lock(m_impl->loop);
    if (!m_impl->ensureConnected()) return {};
    Impl::SourceQuery q{m_impl.get(), {}, {}, {}, {}};
    if (!m_impl->await(pa_context_get_source_info_list(m_impl->context, &Impl::onSourceInfo, &q))) return {};
    return std::move(q.found);
}

std::optional<std::uint32_t> PulseAudioBackend::defaultInputDevice() {
    if (!m_impl->loop) return std::nullopt;
    LoopLock lock(m_impl->loop);
    if (!m_impl->ensureConnected()) return std::nullopt;
    auto name = m_impl->queryDefaultSourceName();
    if (!name || name->empty()) return std::nullopt;
    Impl::SourceQuery q{m_impl.get(), {}, {}, {}, {}};
    if (!m_impl->await(pa_context_get_source_info_by_name(m_impl->context, name->c_str(), &Impl::onSourceInfo, &q)) ||
        q.found.empty())
        return std::nullopt;
    return q.found.front().id;
}

bool PulseAudioBackend::setDefaultInputDevice(std::uint32_t id) {
    if (!m_impl->loop) return false;
    LoopLock lock(m_impl->loop);
    if (!m_impl->ensureConnected()) return false;
    Impl::SourceQuery q{m_impl.get(), {}, {}, {}, {}};
    if (!m_impl->await(pa_context_get_source_info_by_index(m_impl->context, id, &Impl::onSourceInfo, &q)) ||
        q.found.empty())
        return false;
    struct Outcome {
        Impl* self;
        bool ok = false;
    } outcome{m_impl.get()};
    auto cb = [](pa_context*, int success, void* ud) {
        auto* o = static_cast<Outcome*>(ud);
        o->ok = success != 0;
        pa_threaded_mainloop_signal(o->self->loop, 0);
    };
    if (!m_impl->await(pa_context_set_default_source(m_impl->context, q.firstName.c_str(), cb, &outcome))) return false;
    if (!outcome.ok) log("PulseAudio", "the server refused to make \"" + q.firstName + "\" the default source");
    return outcome.ok;
}

void PulseAudioBackend::whenServerAnswers(
    std::function<void(const std::string& name, const std::string& version)> then) {
    if (!m_impl->loop) return;
    LoopLock lock(m_impl->loop);
    m_impl->serverAnswer = std::move(then);
    if (m_impl->context && pa_context_get_state(m_impl->context) == PA_CONTEXT_READY)
        m_impl->askServerInfo(m_impl->context);
}

std::unique_ptr<AudioInputStream> PulseAudioBackend::makeInputStream() {
    return std::make_unique<PulseInputStream>(m_impl);
}

}  // namespace vandrel::pulse
