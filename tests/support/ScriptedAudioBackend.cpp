#include "support/ScriptedAudioBackend.h"

#include "base/MainLoop.h"

namespace vandrel::test {

class ScriptedAudioBackend::Stream final : public AudioInputStream {
public:
    Stream(ScriptedAudioBackend& backend, AudioInputFormat format) : m_backend(backend), m_format(format) {}
    ~Stream() override { stop(); }

    AudioInputFormat inputFormat() override { return m_format; }

    void start(std::size_t blockFrames, BlockHandler onBlock, std::function<void()> onConfigurationChange,
               StartHandler onStarted) override {
        m_backend.events.push_back("start");
        std::optional<std::string> result;
        if (!m_backend.startResults.empty()) {
            result = m_backend.startResults.front();
            m_backend.startResults.pop_front();
        }
        if (!result) {
            m_blockFrames = blockFrames;
            m_onBlock = std::move(onBlock);
            m_onConfigurationChange = std::move(onConfigurationChange);
            m_backend.m_running = this;
        }
        MainLoop::current().post([onStarted = std::move(onStarted), result] { onStarted(result); });
    }

    void stop() override {
        if (m_backend.m_running != this) return;
        m_backend.events.push_back("stop");
        if (!m_backend.heldOnStop.empty()) {
            auto held = std::move(m_backend.heldOnStop);
            m_backend.heldOnStop.clear();
            m_onBlock(held.data(), held.size() / m_format.channels);
        }
        m_backend.m_running = nullptr;
        m_onBlock = nullptr;
    }

    ScriptedAudioBackend& m_backend;
    AudioInputFormat m_format;
    std::size_t m_blockFrames = 0;
    BlockHandler m_onBlock;
    std::function<void()> m_onConfigurationChange;
};

void ScriptedAudioBackend::setDefaultInputDevice(std::uint32_t id, std::function<void(bool)> done) {
    events.push_back("setDefault:" + std::to_string(id));
    if (!refuseSetDefault) defaultId = id;
    MainLoop::current().post([done = std::move(done), ok = !refuseSetDefault] {
        if (done) done(ok);
    });
}

std::unique_ptr<AudioInputStream> ScriptedAudioBackend::makeInputStream() {
    ++streamsMade;
    AudioInputFormat f = format;
    if (!formats.empty()) {
        f = formats.front();
        formats.pop_front();
    }
    return std::make_unique<Stream>(*this, f);
}

std::size_t ScriptedAudioBackend::runningBlockFrames() const { return m_running ? m_running->m_blockFrames : 0; }

bool ScriptedAudioBackend::feed(const std::vector<float>& interleaved) {
    if (!m_running) return false;
    m_running->m_onBlock(interleaved.data(), interleaved.size() / m_running->m_format.channels);
    return true;
}

bool ScriptedAudioBackend::feedConstant(std::size_t frames, std::uint32_t channels, float value) {
    return feed(std::vector<float>(frames * channels, value));
}

bool ScriptedAudioBackend::signalConfigurationChange() {
    if (!m_running) return false;
    m_running->m_onConfigurationChange();
    return true;
}

}  // namespace vandrel::test
