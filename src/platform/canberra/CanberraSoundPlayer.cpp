#include "platform/canberra/CanberraSoundPlayer.h"

#include <canberra.h>

#include <atomic>
#include <string>

#include "base/AppInfo.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/SerialExecutor.h"

namespace vandrel {

namespace {
// One context for the process, never destroyed: destroying it unloads the sound-server driver while
// that driver's own threads may still be finishing a sound, which crashes. libcanberra contexts lock
// themselves, so players on different workers may share it.
ca_context* sharedContext() {
    static ca_context* context = [] {
        ca_context* c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS) return static_cast<ca_context*>(nullptr);
        const std::string name = AppInfo::applicationName(), id = AppInfo::applicationId();
        ca_context_change_props(c, CA_PROP_APPLICATION_NAME, name.c_str(), CA_PROP_APPLICATION_ID, id.c_str(), nullptr);
        return c;
    }();
    return context;
}
}  // namespace

struct CanberraSoundPlayer::Impl {
    std::filesystem::path folder;
    std::atomic<int> lastResult{0};
    SerialExecutor worker{"sounds"};
};

CanberraSoundPlayer::CanberraSoundPlayer(std::filesystem::path soundsFolder) : m_impl(std::make_unique<Impl>()) {
    m_impl->folder = std::move(soundsFolder);
}

CanberraSoundPlayer::~CanberraSoundPlayer() { m_impl->worker.shutdown(true); }

std::filesystem::path CanberraSoundPlayer::defaultSoundsFolder() { return Paths::resources() / "sounds"; }

void CanberraSoundPlayer::play(const std::string& name) {
    Impl* impl = m_impl.get();
    impl->worker.submit([impl, name] {
        ca_context* context = sharedContext();
        if (!context) {
            impl->lastResult = CA_ERROR_NOTAVAILABLE;
            return;
        }
        const auto file = (impl->folder / (name + ".ogg")).string();
        const int result =
            ca_context_play(context, 0, CA_PROP_MEDIA_FILENAME, file.c_str(), CA_PROP_EVENT_DESCRIPTION, name.c_str(),
                            CA_PROP_MEDIA_ROLE, "event", CA_PROP_CANBERRA_CACHE_CONTROL, "volatile", nullptr);
        impl->lastResult = result;
        if (result != CA_SUCCESS) log("Sound", "Could not play " + name + ": " + ca_strerror(result));
    });
}

int CanberraSoundPlayer::waitIdle() {
    m_impl->worker.waitIdle();
    return m_impl->lastResult.load();
}

}  // namespace vandrel
