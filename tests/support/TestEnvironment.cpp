#include "support/TestEnvironment.h"

#include <cstdlib>
#include <random>

#include "base/LocalizationManager.h"

namespace vandrel::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto p = base / ("vandrel-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            m_path = p;
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str())) m_old = old;
    if (value)
        ::setenv(m_name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (m_old)
        ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

TestWorld::TestWorld()
    : m_dataHome("XDG_DATA_HOME", (m_home.path() / "data").string()),
      m_configHome("XDG_CONFIG_HOME", (m_home.path() / "config").string()),
      m_defaults(UserDefaults::inMemory()) {
    MainLoop::setCurrent(&m_loop);
    UserDefaults::setStandard(m_defaults);
    LocalizationManager::resetForTesting();
}

TestWorld::~TestWorld() {
    LocalizationManager::resetForTesting();
    UserDefaults::setStandard(nullptr);
    MainLoop::setCurrent(nullptr);
}

}  // namespace vandrel::test
