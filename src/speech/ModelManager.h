#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/SerialExecutor.h"
#include "speech/ModelTier.h"

namespace vandrel {

// A failed download or unpacking: an error domain ("ModelManager.Download", "ModelManager.Unzip",
// "ModelManager.Transport", "ModelManager.File", "ModelManager.Validation" for a transfer that is not what
// was asked for), a code (HTTP status, exit status, curl or errno code) and a description for the user.
struct ModelDownloadError {
    std::string domain;
    long code = 0;
    std::string description;
};

// The consumer's end of one ensureDownloaded call. Destroying it, or cancel(), ends the download job:
// the transfer stops, its partial file is removed and no further callbacks arrive.
class ModelDownload {
public:
    ModelDownload() = default;
    explicit ModelDownload(std::shared_ptr<std::atomic<bool>> cancelled) : m_cancelled(std::move(cancelled)) {}
    ModelDownload(ModelDownload&&) noexcept = default;
    ModelDownload& operator=(ModelDownload&& other) noexcept {
        if (this != &other) {
            cancel();
            m_cancelled = std::move(other.m_cancelled);
        }
        return *this;
    }
    ~ModelDownload() { cancel(); }
    void cancel() {
        if (m_cancelled) m_cancelled->store(true);
        m_cancelled.reset();
    }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

// Keeps the speech model files in the application's models folder: presence, downloads with overall
// progress, and deletion. An actor: downloads run one at a time on its executor; progress and the outcome
// come back on the main loop.
class ModelManager {
public:
    struct Options {
        std::string baseUrl = std::string(kModelDownloadBaseUrl);
        // Whether model tiers come with a Core ML encoder folder. Only builds with Core ML use one; on
        // Linux a present model file means the tier is complete.
        bool usesEncoder = defaultUsesEncoder();
        // A transfer that moves no byte for this long fails.
        long stallTimeoutSeconds = 60;
        // The SHA-1 (lowercase hex) a tier's model file must have; tiers without one are checked for
        // their structure only.
        std::map<ModelTier, std::string> modelSha1 = publishedModelSha1();
        // When set, the certificates https servers are checked against instead of the system's.
        std::string caBundle{};
    };

    // What a finished transfer must be before it replaces the destination.
    struct Expectation {
        // Says what is wrong with the file, or nothing.
        std::function<std::optional<std::string>(const std::filesystem::path&)> validate;
        // The SHA-1 of the body, lowercase hex.
        std::optional<std::string> sha1;
    };

    static ModelManager& shared();
    // "com.harstow.Vandrel/Models" in the application-support folder.
    static std::filesystem::path defaultModelsDirectory();
    static bool defaultUsesEncoder();
    // The sums whisper.cpp publishes for its model files.
    static std::map<ModelTier, std::string> publishedModelSha1();

    explicit ModelManager(std::filesystem::path modelsDirectory);
    ModelManager(std::filesystem::path modelsDirectory, Options options);
    ~ModelManager();

    const std::filesystem::path& modelsDirectory() const { return m_modelsDirectory; }
    // The model file when it exists (the encoder is not checked). Never a ".part" file.
    std::optional<std::filesystem::path> modelURL(ModelTier tier) const;
    // Makes sure the tier is on disk. `onProgress` receives values 0...1; `onFinish` runs once at the end,
    // with an error when the model could not be had. Both on the main loop. A model file on disk that is
    // not a whisper model is moved aside ("<file>.invalid") and downloaded again; a download is checked
    // (structure, and the tier's SHA-1 when known) before it takes the model's place.
    [[nodiscard]] ModelDownload ensureDownloaded(ModelTier tier, std::function<void(double)> onProgress,
                                                 std::function<void(std::optional<ModelDownloadError>)> onFinish);
    // Removes the model file and the encoder folder; errors are ignored.
    void deleteModel(ModelTier tier);
    // The same on the manager's executor, behind any download it runs; `done` follows on the main loop.
    void deleteModel(ModelTier tier, std::function<void()> done);

    // The building blocks, run on the calling thread (the manager's executor, or a test).
    // `progress` receives values within [lower, upper]. Redirects never leave https for http.
    using ProgressSink = std::function<void(double)>;
    std::optional<ModelDownloadError> downloadFile(const std::string& url, const std::filesystem::path& destination,
                                                   double lower, double upper, const ProgressSink& progress,
                                                   const std::atomic<bool>* cancelled = nullptr,
                                                   const Expectation& expectation = {}) const;
    std::optional<ModelDownloadError> downloadEncoder(ModelTier tier, double lower, double upper,
                                                      const ProgressSink& progress,
                                                      const std::atomic<bool>* cancelled = nullptr) const;
    // Unpacks an encoder archive into `destination` through a staging folder: entries with absolute
    // paths, ".." or links are refused, and the result is renamed into place in one step.
    static std::optional<ModelDownloadError> unzipEncoder(const std::filesystem::path& archive,
                                                          const std::filesystem::path& destination,
                                                          const std::string& unzipProgram = "/usr/bin/unzip");

private:
    std::filesystem::path m_modelsDirectory;
    Options m_options;
    SerialExecutor m_executor{"ModelManager"};
};

}  // namespace vandrel
