#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/ManualMainLoop.h"
#include "base/UserDefaults.h"

namespace vandrel::test {

// A fresh temporary folder, removed with its contents when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Sets (or unsets, with nullopt) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// The usual unit-test world: a virtual-time main loop installed as current, fresh in-memory standard
// defaults, and XDG folders in a temporary home. Restores the previous loop and defaults when it dies.
class TestWorld {
public:
    TestWorld();
    ~TestWorld();
    ManualMainLoop& loop() { return m_loop; }
    UserDefaults& defaults() { return *m_defaults; }
    const std::filesystem::path& home() const { return m_home.path(); }

private:
    TempDir m_home;
    ScopedEnv m_dataHome, m_configHome;
    ManualMainLoop m_loop;
    std::shared_ptr<UserDefaults> m_defaults;
};

}  // namespace vandrel::test
