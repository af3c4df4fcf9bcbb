#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcessEnvironment>
#include <QString>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/FakeWhisper.h"
#include "support/TinyWhisperModel.h"

namespace vandrel::test {

// The home of the real application in an end-to-end test: its settings file, its data and cache folders, the
// default tier's tiny model, and the variables that point it there, at the fake libwhisper and away from the
// network.
class AppHome {
public:
    struct Options {
        // More members of the settings object, e.g. R"(, "hotkeyOption": "rightControl")".
        std::string moreDefaults = {};
        // A runtime folder of its own; without, the desktop session's serves.
        bool ownRuntime = true;
        bool tinyModel = true;
        // The user's data folder when it is the desktop's as well (whose portal looks there for the
        // application's desktop entry); without, a folder of this home.
        std::optional<std::filesystem::path> dataHome = std::nullopt;
        // The user everything is handed to: the desktop session's, whose programs run as it.
        std::optional<uid_t> owner = std::nullopt;
    };

    AppHome(std::filesystem::path folder, Options options) : m_folder(std::move(folder)), m_options(options) {}

    // Writes the settings (a finished onboarding, English, no sounds, a short clipboard restore) and the model.
    void create() const {
        namespace fs = std::filesystem;
        for (const auto* dir : {"config/Vandrel", "cache"}) fs::create_directories(m_folder / dir);
        fs::create_directories(dataFolder());
        if (m_options.ownRuntime) {
            fs::create_directories(m_folder / "runtime");
            ::chmod((m_folder / "runtime").c_str(), 0700);
        }
        std::ofstream(defaultsFile())
            << R"({"hasCompletedOnboarding": true, "preferredLanguages": ["en"], "playSounds": false,)"
            << R"( "clipboardRestoreDelay": 1.0, "performanceMode": "standard")" << m_options.moreDefaults << "}";
        if (m_options.tinyModel) installTinyModel();
        if (!m_options.owner) return;
        ::chmod(m_folder.c_str(), 0755);
        // All of this home; of a data folder of the desktop's, what we put there.
        for (const fs::path& top : {m_folder, modelsFolder().parent_path()}) {
            if (!fs::exists(top)) continue;
            ASSERT_EQ(::chown(top.c_str(), *m_options.owner, *m_options.owner), 0);
            for (const auto& entry : fs::recursive_directory_iterator(top))
                ASSERT_EQ(::chown(entry.path().c_str(), *m_options.owner, *m_options.owner), 0);
        }
    }

    // The model the default performance mode loads.
    void installTinyModel() const {
        std::filesystem::create_directories(modelsFolder());
        writeTinyWhisperModel(modelsFolder() / "ggml-large-v3-turbo-q5_0.bin");
    }

    // `base` with the application pointed at this home; the fake libwhisper answers `dictatedText`.
    QProcessEnvironment environment(QProcessEnvironment base, const QString& dictatedText) const {
        const auto path = [this](const char* sub) { return QString::fromStdString((m_folder / sub).string()); };
        base.insert("HOME", QString::fromStdString(m_folder.string()));
        base.insert("XDG_CONFIG_HOME", path("config"));
        base.insert("XDG_DATA_HOME", QString::fromStdString(dataFolder().string()));
        base.insert("XDG_CACHE_HOME", path("cache"));
        if (m_options.ownRuntime) base.insert("XDG_RUNTIME_DIR", path("runtime"));
        if (const char* resources = std::getenv("VANDREL_RESOURCES_DIR"))
            base.insert("VANDREL_RESOURCES_DIR", resources);
        base.insert("VANDREL_WHISPER_LIBRARY", fakeWhisperLibraryPath());
        base.insert("VANDREL_FAKE_WHISPER_TEXT", dictatedText);
        // Nothing leaves the machine: every transfer (model download, update feed, usage ping) goes to a
        // proxy on a local port where nothing listens, so it fails at once.
        for (const auto* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            base.insert(name, "http://127.0.0.1:9");
        base.remove("no_proxy");
        base.remove("NO_PROXY");
        return base;
    }

    std::filesystem::path defaultsFile() const { return m_folder / "config/Vandrel/defaults.json"; }
    std::filesystem::path dataFolder() const { return m_options.dataHome.value_or(m_folder / "data"); }
    std::filesystem::path modelsFolder() const { return dataFolder() / "com.harstow.Vandrel/Models"; }

private:
    std::filesystem::path m_folder;
    Options m_options;
};

}  // namespace vandrel::test
