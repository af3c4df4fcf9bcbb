#include "correction/LexiconLibrary.h"

#include "base/Analytics.h"
#include "base/UserDefaults.h"
#include "correction/LexiconCatalog.h"

namespace vandrel {

namespace {
constexpr int kInstallSteps = 25;
constexpr double kStepMilliseconds = 60;
}  // namespace

LexiconLibrary& LexiconLibrary::shared() {
    static LexiconLibrary library;
    return library;
}

LexiconLibrary::LexiconLibrary() {
    auto& defaults = UserDefaults::standard();
    auto stored = defaults.get(kInstalledLexicons);
    m_installedKeys = std::set<std::string>(stored.begin(), stored.end());
    const std::string active = defaults.get(kActiveDictionary);
    // An active lexicon always counts as installed.
    if (!active.empty() && LexiconDescriptor::descriptorForKey(active)) m_installedKeys.insert(active);
    persist();
}

LexiconLibrary::~LexiconLibrary() = default;

void LexiconLibrary::persist() {
    UserDefaults::standard().set(kInstalledLexicons, StringList(m_installedKeys.begin(), m_installedKeys.end()));
}

void LexiconLibrary::install(const std::string& key, std::function<void()> done) {
    if (m_installedKeys.count(key) || m_installingKey) {
        if (done) done();
        return;
    }
    m_installingKey = key;
    m_installProgress = 0;
    changed();
    step(1, std::move(done));
}

void LexiconLibrary::step(int n, std::function<void()> done) {
    m_timer =
        MainLoop::current().singleShot(milliseconds(kStepMilliseconds), [this, n, done = std::move(done)]() mutable {
            m_installProgress = static_cast<double>(n) / kInstallSteps;
            changed();
            if (n < kInstallSteps) {
                step(n + 1, std::move(done));
                return;
            }
            const std::string key = *m_installingKey;
            m_installedKeys.insert(key);
            persist();
            m_installingKey.reset();
            m_installProgress = 0;
            changed();
            sendAnalyticsEvent(AnalyticsEvent::lexiconInstalled(key));
            if (done) done();
        });
}

void LexiconLibrary::remove(const std::string& key) {
    if (m_installedKeys.erase(key)) changed();
    persist();
    auto& defaults = UserDefaults::standard();
    if (defaults.get(kActiveDictionary) == key) defaults.set(kActiveDictionary, "");
}

}  // namespace vandrel
