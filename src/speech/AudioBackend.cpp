#include "speech/AudioBackend.h"

#include <mutex>

#include "base/MainLoop.h"

namespace vandrel {

namespace {

class NoServerBackend final : public AudioBackend {
public:
    std::optional<std::string> connectionError() override { return "no sound server is configured"; }
    std::vector<AudioSourceInfo> sources() override { return {}; }
    std::optional<std::uint32_t> defaultInputDevice() override { return std::nullopt; }
    void setDefaultInputDevice(std::uint32_t, std::function<void(bool)> done) override {
        MainLoop::current().post([done = std::move(done)] {
            if (done) done(false);
        });
    }
    std::unique_ptr<AudioInputStream> makeInputStream() override { return std::make_unique<NoInput>(); }

private:
    struct NoInput final : AudioInputStream {
        AudioInputFormat inputFormat() override { return {}; }
        void start(std::size_t, BlockHandler, std::function<void()>, StartHandler onStarted) override {
            MainLoop::current().post(
                [onStarted = std::move(onStarted)] { onStarted("no sound server is configured"); });
        }
        void stop() override {}
    };
};

std::mutex g_mutex;
std::shared_ptr<AudioBackend> g_shared;

}  // namespace

std::shared_ptr<AudioBackend> AudioBackend::shared() {
    std::lock_guard lock(g_mutex);
    if (!g_shared) g_shared = std::make_shared<NoServerBackend>();
    return g_shared;
}

void AudioBackend::setShared(std::shared_ptr<AudioBackend> backend) {
    std::lock_guard lock(g_mutex);
    g_shared = std::move(backend);
}

}  // namespace vandrel
