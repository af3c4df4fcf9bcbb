#include "speech/ModelManager.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "base/AppInfo.h"
#include "base/Curl.h"
#include "base/Log.h"
#include "base/MainLoop.h"
#include "base/Paths.h"
#include "base/ProgramRun.h"
#include "speech/TranscriptCleanup.h"
#include "speech/WhisperModelValidator.h"

namespace vandrel {
namespace fs = std::filesystem;
namespace {

struct Transfer {
    std::FILE* file = nullptr;
    CURL* curl = nullptr;
    std::uint64_t written = 0;
    bool writeFailed = false;
    double lower = 0, upper = 1, lastReported = -1;
    const ModelManager::ProgressSink* progress = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    EVP_MD_CTX* sha1 = nullptr;  // hashes the body as it arrives, when a sum is expected
};

std::string hex(const unsigned char* bytes, unsigned n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < n; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

long responseCode(CURL* curl) {
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    // An error page is never written into the model's partial file.
    const long code = responseCode(t->curl);
    if (code < 200 || code > 299) return n;
    if (std::fwrite(data, 1, n, t->file) != n) {
        t->writeFailed = true;
        return 0;
    }
    if (t->sha1) EVP_DigestUpdate(t->sha1, data, n);
    t->written += n;
    return n;
}

int transferProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    if (t->cancelled && t->cancelled->load()) return 1;
    const long code = responseCode(t->curl);
    if (total >= 1 && code >= 200 && code <= 299 && t->progress && *t->progress) {
        const double value = t->lower + (double(now) / double(total)) * (t->upper - t->lower);
        // curl reports many times per second; only changes are worth a main-loop hop.
        if (std::fabs(value - t->lastReported) >= 0.001 || (now == total && value != t->lastReported)) {
            t->lastReported = value;
            (*t->progress)(std::min(value, t->upper));
        }
    }
    return 0;
}

std::string randomSuffix() {
    std::random_device rd;
    return std::to_string(rd()) + std::to_string(rd());
}

ModelDownloadError fileError(const std::string& what, int err) {
    return {"ModelManager.File", err, what + ": " + std::strerror(err)};
}

}  // namespace

ModelManager& ModelManager::shared() {
    static ModelManager instance(defaultModelsDirectory());
    return instance;
}

fs::path ModelManager::defaultModelsDirectory() {
    return Paths::applicationSupport() / AppInfo::applicationId() / "Models";
}

std::map<ModelTier, std::string> ModelManager::publishedModelSha1() {
    return {{ModelTier::base, "465707469ff3a37a2b9b8d8f89f2f99de7299dac"},
            {ModelTier::small, "55356645c2b361a969dfd0ef2c5a50d530afd8d5"},
            {ModelTier::largeTurboQ5, "e050f7970618a659205450ad97eb95a18d69c9ee"}};
}

bool ModelManager::defaultUsesEncoder() {
#ifdef VANDREL_COREML
    return true;
#else
    return false;
#endif
}

ModelManager::ModelManager(fs::path modelsDirectory) : ModelManager(std::move(modelsDirectory), Options()) {}

ModelManager::ModelManager(fs::path modelsDirectory, Options options)
    : m_modelsDirectory(std::move(modelsDirectory)), m_options(std::move(options)) {
    std::error_code ec;
    fs::create_directories(m_modelsDirectory, ec);
}

ModelManager::~ModelManager() { m_executor.shutdown(false); }

std::optional<fs::path> ModelManager::modelURL(ModelTier tier) const {
    const fs::path p = m_modelsDirectory / fileName(tier);
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
    return std::nullopt;
}

void ModelManager::deleteModel(ModelTier tier) {
    std::error_code ec;
    fs::remove(m_modelsDirectory / fileName(tier), ec);
    fs::remove_all(m_modelsDirectory / encoderFolderName(tier), ec);
}

void ModelManager::deleteModel(ModelTier tier, std::function<void()> done) {
    m_executor.runThen([this, tier] { deleteModel(tier); },
                       [done = std::move(done)] {
                           if (done) done();
                       });
}

ModelDownload ModelManager::ensureDownloaded(ModelTier tier, std::function<void(double)> onProgress,
                                             std::function<void(std::optional<ModelDownloadError>)> onFinish) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto progress = [cancelled, onProgress](double v) {
        MainLoop::current().post([cancelled, onProgress, v] {
            if (!cancelled->load() && onProgress) onProgress(v);
        });
    };
    auto finish = [cancelled, onFinish](std::optional<ModelDownloadError> e) {
        MainLoop::current().post([cancelled, onFinish, e = std::move(e)] {
            if (!cancelled->load() && onFinish) onFinish(e);
        });
    };
    const bool usesEncoder = m_options.usesEncoder;
    m_executor.submit([this, tier, usesEncoder, cancelled, progress, finish] {
        if (cancelled->load()) return;
        const double modelUpper = usesEncoder ? 0.5 : 1.0;
        // A file that is there but no model (a captive portal's page from an older version, a damaged
        // disk) would fail every load: it goes aside, and the model is fetched again.
        if (auto present = modelURL(tier)) {
            if (auto problem = validateWhisperModelFile(*present)) {
                fs::path aside = *present;
                aside += ".invalid";
                std::error_code ec;
                fs::rename(*present, aside, ec);
                log("ModelManager", "Set aside " + present->filename().string() + " (" + *problem + ")" +
                                        (ec ? ": " + ec.message() : ""));
            }
        }
        if (!modelURL(tier)) {
            Expectation expectation;
            expectation.validate = [](const fs::path& file) { return validateWhisperModelFile(file); };
            if (auto it = m_options.modelSha1.find(tier); it != m_options.modelSha1.end())
                expectation.sha1 = it->second;
            auto error = downloadFile(downloadURL(tier, m_options.baseUrl), m_modelsDirectory / fileName(tier), 0.0,
                                      modelUpper, progress, cancelled.get(), expectation);
            if (error) {
                finish(std::move(error));
                return;
            }
        } else {
            progress(modelUpper);
        }
        if (!usesEncoder) {
            finish(std::nullopt);
            return;
        }
        std::error_code e;
        if (!fs::is_directory(m_modelsDirectory / encoderFolderName(tier), e)) {
            // The model works without its encoder; the next call tries the encoder again.
            if (auto error = downloadEncoder(tier, 0.5, 1.0, progress, cancelled.get())) {
                log("ModelManager", "Encoder unavailable: " + error->description);
                progress(1.0);
            }
        } else {
            progress(1.0);
        }
        finish(std::nullopt);
    });
    return ModelDownload(cancelled);
}

std::optional<ModelDownloadError> ModelManager::downloadFile(const std::string& url, const fs::path& destination,
                                                             double lower, double upper, const ProgressSink& progress,
                                                             const std::atomic<bool>* cancelled,
                                                             const Expectation& expectation) const {
    ensureCurlInitialized();
    // The transfer goes to a partial file beside the destination, which is replaced in one rename.
    const fs::path part = destination.string() + ".part";
    Transfer t;
    t.lower = lower;
    t.upper = upper;
    t.progress = &progress;
    t.cancelled = cancelled;
    t.file = std::fopen(part.c_str(), "wbe");
    if (!t.file) return fileError("Cannot write " + part.filename().string(), errno);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha1(nullptr, &EVP_MD_CTX_free);
    if (expectation.sha1) {
        sha1.reset(EVP_MD_CTX_new());
        if (sha1 && EVP_DigestInit_ex(sha1.get(), EVP_sha1(), nullptr) != 1) sha1.reset();
        if (!sha1) {
            std::fclose(t.file);
            std::error_code ec;
            fs::remove(part, ec);
            return ModelDownloadError{"ModelManager.Validation", 0, "Cannot compute the SHA-1 of a download"};
        }
        t.sha1 = sha1.get();
    }
    CURL* curl = curl_easy_init();
    t.curl = curl;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // A secure address never hands the transfer over to a plain one, where anyone on the way could
    // replace the file.
    const bool secure = url.rfind("https://", 0) == 0;
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    if (!m_options.caBundle.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, m_options.caBundle.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, m_options.stallTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, transferProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    const CURLcode rc = curl_easy_perform(curl);
    const long status = responseCode(curl);
    curl_off_t expected = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    curl_easy_cleanup(curl);
    const bool flushed = std::fflush(t.file) == 0 && fsync(fileno(t.file)) == 0;
    std::fclose(t.file);

    auto failWith = [&](ModelDownloadError e) {
        std::error_code ec;
        fs::remove(part, ec);
        return std::optional<ModelDownloadError>(std::move(e));
    };
    if (cancelled && cancelled->load()) return failWith({"ModelManager.Download", -1, "Download cancelled"});
    // A redirect that was not followed (a refused protocol, too many hops) is told by curl's message.
    const bool unfollowedRedirect = status >= 300 && status <= 399 && rc != CURLE_OK;
    if (status != 0 && (status < 200 || status > 299) && !unfollowedRedirect)
        return failWith({"ModelManager.Download", status, "HTTP " + std::to_string(status) + " for " + url});
    if (t.writeFailed || !flushed)
        return failWith(fileError("Cannot write " + part.filename().string(), errno ? errno : EIO));
    if (rc != CURLE_OK)
        return failWith({"ModelManager.Transport", static_cast<long>(rc),
                         std::string(*errorBuffer ? errorBuffer : curl_easy_strerror(rc)) + " (" + url + ")"});
    if (expected >= 0 && t.written != static_cast<std::uint64_t>(expected))
        return failWith({"ModelManager.Download", status,
                         "Incomplete download of " + url + ": " + std::to_string(t.written) + " of " +
                             std::to_string(expected) + " bytes"});
    // A server that sends no length and closes early, or answers 200 with a page of its own, must not
    // leave that behind as the model.
    if (t.sha1) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        EVP_DigestFinal_ex(t.sha1, digest, &length);
        const std::string actual = hex(digest, length);
        if (actual != *expectation.sha1)
            return failWith(
                {"ModelManager.Validation", 0,
                 "Downloaded file from " + url + " has SHA-1 " + actual + ", expected " + *expectation.sha1});
    }
    if (expectation.validate) {
        if (auto problem = expectation.validate(part))
            return failWith(
                {"ModelManager.Validation", 0, "Downloaded file from " + url + " is not a usable model: " + *problem});
    }
    std::error_code ec;
    fs::rename(part, destination, ec);
    if (ec) return failWith(fileError("Cannot move " + part.filename().string(), ec.value()));
    if (progress) progress(upper);
    return std::nullopt;
}

std::optional<ModelDownloadError> ModelManager::downloadEncoder(ModelTier tier, double lower, double upper,
                                                                const ProgressSink& progress,
                                                                const std::atomic<bool>* cancelled) const {
    const double split = lower + (upper - lower) * 0.9;
    const fs::path archive = m_modelsDirectory / encoderArchiveName(tier);
    std::error_code ec;
    fs::remove(archive, ec);
    if (auto error =
            downloadFile(encoderDownloadURL(tier, m_options.baseUrl), archive, lower, split, progress, cancelled))
        return error;
    auto error = unzipEncoder(archive, m_modelsDirectory);
    fs::remove(archive, ec);
    if (error) return error;
    if (progress) progress(upper);
    return std::nullopt;
}

std::optional<ModelDownloadError> ModelManager::unzipEncoder(const fs::path& archive, const fs::path& destination,
                                                             const std::string& unzipProgram) {
    std::error_code ec;
    fs::create_directories(destination, ec);
    auto failure = [&](int status, const std::string& detail) {
        std::string description = "Failed to extract " + archive.filename().string() + " into " +
                                  destination.filename().string() + " (exit " + std::to_string(status) + ")";
        const std::string trimmed = trimWhitespaceAndNewlines(detail);
        if (!trimmed.empty()) description += ": " + trimmed;
        return ModelDownloadError{"ModelManager.Unzip", status, description};
    };
    // Look at every entry name before anything is written.
    ProgramRun list = ProgramRun::run({unzipProgram, "-Z1", archive.string()});
    if (!list.started) return fileError("Cannot run " + unzipProgram, list.startErrno);
    if (list.exitStatus != 0) return failure(list.exitStatus, list.err);
    std::size_t start = 0;
    while (start < list.out.size()) {
        std::size_t end = list.out.find('\n', start);
        if (end == std::string::npos) end = list.out.size();
        const std::string name = list.out.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        const fs::path p(name);
        bool climbs = p.is_absolute() || name.find('\\') != std::string::npos;
        for (const auto& part : p) climbs = climbs || part == "..";
        if (climbs) return failure(1, "unsafe entry " + name);
    }
    const fs::path staging = destination / (".unzip-" + randomSuffix());
    fs::create_directories(staging, ec);
    ProgramRun unzip = ProgramRun::run({unzipProgram, "-o", "-qq", archive.string(), "-d", staging.string()});
    auto cleanup = [&] { fs::remove_all(staging, ec); };
    if (!unzip.started) {
        cleanup();
        return fileError("Cannot run " + unzipProgram, unzip.startErrno);
    }
    if (unzip.exitStatus != 0) {
        cleanup();
        return failure(unzip.exitStatus, unzip.err);
    }
    for (auto it = fs::recursive_directory_iterator(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_symlink(ec)) {
            cleanup();
            return failure(1, "link entry " + it->path().filename().string());
        }
    }
    for (const auto& entry : fs::directory_iterator(staging, ec)) {
        const fs::path target = destination / entry.path().filename();
        std::error_code renameError;
        fs::rename(entry.path(), target, renameError);
        if (renameError) {
            // An older folder of the same name is replaced.
            fs::remove_all(target, ec);
            fs::rename(entry.path(), target, renameError);
        }
        if (renameError) {
            cleanup();
            return fileError("Cannot move " + target.filename().string(), renameError.value());
        }
    }
    cleanup();
    return std::nullopt;
}

}  // namespace vandrel
