// Model downloads against a local HTTP server, encoder unpacking and the tier catalogue.
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "base/FileUtil.h"
#include "base/LocalizationManager.h"
#include "speech/ModelManager.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

// A stored (uncompressed) zip archive, enough to feed unzip entries of our choosing.
std::string makeZip(const std::vector<std::tuple<std::string, std::string, bool>>& entries) {
    auto crc32 = [](const std::string& data) {
        std::uint32_t crc = 0xffffffffu;
        for (unsigned char c : data) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    std::string out, central;
    auto u16 = [](std::string& s, std::uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); };
    auto u32 = [](std::string& s, std::uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
    for (const auto& [name, data, link] : entries) {
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t crc = crc32(data);
        u32(out, 0x04034b50);
        u16(out, 10);
        u16(out, 0);
        u16(out, 0);
        u16(out, 0);
        u16(out, 0);
        u32(out, crc);
        u32(out, std::uint32_t(data.size()));
        u32(out, std::uint32_t(data.size()));
        u16(out, std::uint16_t(name.size()));
        u16(out, 0);
        out += name + data;
        u32(central, 0x02014b50);
        u16(central, 0x031e);
        u16(central, 10);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u32(central, crc);
        u32(central, std::uint32_t(data.size()));
        u32(central, std::uint32_t(data.size()));
        u16(central, std::uint16_t(name.size()));
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        const std::uint32_t mode = link ? 0120777u : (name.back() == '/' ? 040755u : 0100644u);
        u32(central, mode << 16);
        u32(central, offset);
        central += name;
    }
    const std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, std::uint16_t(entries.size()));
    u16(out, std::uint16_t(entries.size()));
    u32(out, std::uint32_t(central.size()));
    u32(out, centralOffset);
    u16(out, 0);
    return out;
}

class ModelManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.get("/m/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "application/octet-stream");
        });
        server.get("/m/resolve/main/ggml-base.bin", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("server error page", "text/plain");
        });
        server.get("/moved/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(server.url("/m/resolve/main/ggml-small.bin"));
        });
        server.get("/chunked/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink& sink) {
                sink.write(body.data(), body.size());
                sink.done();
                return true;
            });
        });
        server.get("/short/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(body.size() * 2, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= body.size()) return false;  // hang up halfway
                                         sink.write(body.data(), body.size());
                                         return true;
                                     });
        });
        server.get("/stall/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(body.size() * 2, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset == 0) {
                                             sink.write(body.data(), 1000);
                                             return true;
                                         }
                                         for (int i = 0; i < 400 && !stopStalling; ++i)
                                             std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                         return false;
                                     });
        });
        server.get("/m/resolve/main/ggml-small-encoder.mlmodelc.zip",
                   [this](const httplib::Request&, httplib::Response& res) {
                       if (encoderZip.empty()) {
                           res.status = 404;
                           return;
                       }
                       res.set_content(encoderZip, "application/zip");
                   });
        server.get("/portal/resolve/main/ggml-small.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>Please sign in to the hotel network</body></html>", "text/html");
        });
        server.get("/cut/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
            // No length announced, and the connection ends halfway: curl sees a complete transfer.
            res.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink& sink) {
                sink.write(body.data(), body.size() / 2);
                sink.done();
                return true;
            });
        });
        server.start();
        test::TempDir scratch;
        test::writeTinyWhisperModel(scratch / "model.bin");
        ASSERT_TRUE(readFile(scratch / "model.bin", body));
    }
    void TearDown() override {
        stopStalling = true;
        server.stop();
    }

    ModelManager::Options options(const std::string& prefix, bool encoder = false) {
        ModelManager::Options o;
        o.baseUrl = server.url(prefix + "/resolve/main/");
        o.usesEncoder = encoder;
        o.stallTimeoutSeconds = 1;
        o.modelSha1.clear();  // a generated model has none of the published sums
        return o;
    }
    struct Run {
        std::vector<double> progress;
        bool finished = false;
        std::optional<ModelDownloadError> error;
    };
    Run download(ModelManager& manager, ModelTier tier) {
        Run run;
        auto handle = manager.ensureDownloaded(
            tier, [&](double v) { run.progress.push_back(v); },
            [&](std::optional<ModelDownloadError> e) {
                run.finished = true;
                run.error = std::move(e);
            });
        EXPECT_TRUE(world.loop().runUntil([&] { return run.finished; }, std::chrono::seconds(20)));
        return run;
    }
    bool noPartialFiles(const fs::path& dir) {
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".part" || e.path().filename().string().rfind(".unzip-", 0) == 0) return false;
        return true;
    }

    test::TestWorld world;
    test::TempDir dir;
    test::LocalHttpServer server;
    std::string body;
    std::string encoderZip;
    std::atomic<bool> stopStalling{false};
};

TEST_F(ModelManagerTest, DownloadsWithRisingProgressAndRenamesIntoPlace) {
    ModelManager manager(dir.path(), options("/m"));
    EXPECT_EQ(manager.modelURL(ModelTier::small), std::nullopt);
    auto run = download(manager, ModelTier::small);
    ASSERT_EQ(run.error, std::nullopt) << run.error->description;
    ASSERT_FALSE(run.progress.empty());
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
    EXPECT_GE(run.progress.front(), 0.0);
    EXPECT_EQ(run.progress.back(), 1.0);
    std::string stored;
    ASSERT_TRUE(readFile(dir / "ggml-small.bin", stored));
    EXPECT_EQ(stored, body);
    EXPECT_EQ(manager.modelURL(ModelTier::small), dir / "ggml-small.bin");
    EXPECT_TRUE(noPartialFiles(dir.path()));

    // Present: exactly one value and no request.
    const auto requests = server.requests().size();
    auto again = download(manager, ModelTier::small);
    EXPECT_EQ(again.progress, std::vector<double>{1.0});
    EXPECT_EQ(again.error, std::nullopt);
    EXPECT_EQ(server.requests().size(), requests);
}

TEST_F(ModelManagerTest, HttpErrorsNameTheRequestedUrlAndLeaveNoFile) {
    ModelManager manager(dir.path(), options("/m"));
    auto run = download(manager, ModelTier::base);
    ASSERT_TRUE(run.error.has_value());
    EXPECT_EQ(run.error->description, "HTTP 500 for " + server.url("/m/resolve/main/ggml-base.bin"));
    EXPECT_EQ(run.error->code, 500);
    EXPECT_FALSE(fs::exists(dir / "ggml-base.bin"));
    EXPECT_TRUE(noPartialFiles(dir.path()));

    auto missing = download(manager, ModelTier::largeTurboQ5);
    ASSERT_TRUE(missing.error.has_value());
    EXPECT_EQ(missing.error->description.rfind("HTTP 404 for " + server.url("/m/"), 0), 0u)
        << missing.error->description;
}

TEST_F(ModelManagerTest, FollowsRedirects) {
    ModelManager manager(dir.path(), options("/moved"));
    auto run = download(manager, ModelTier::small);
    EXPECT_EQ(run.error, std::nullopt);
    EXPECT_EQ(fs::file_size(dir / "ggml-small.bin"), body.size());
}

// Whoever sits between us and a plain-http address could hand out any file as the model.
TEST_F(ModelManagerTest, RedirectsNeverLeaveHttpsForHttp) {
    test::TempDir tls;
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
        "subjectAltName=IP:127.0.0.1 -keyout " +
        (tls / "key.pem").string() + " -out " + (tls / "cert.pem").string() + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    httplib::SSLServer secure((tls / "cert.pem").c_str(), (tls / "key.pem").c_str());
    ASSERT_TRUE(secure.is_valid());
    secure.Get("/direct/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "application/octet-stream");
    });
    secure.Get("/down/resolve/main/ggml-small.bin", [this](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(server.url("/m/resolve/main/ggml-small.bin"));
    });
    const int port = secure.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { secure.listen_after_bind(); });
    auto secureOptions = [&](const std::string& prefix) {
        auto o = options("/unused");
        o.baseUrl = "https://127.0.0.1:" + std::to_string(port) + prefix + "/resolve/main/";
        o.caBundle = (tls / "cert.pem").string();
        return o;
    };

    ModelManager downgraded(dir.path(), secureOptions("/down"));
    auto refused = download(downgraded, ModelTier::small);
    ASSERT_TRUE(refused.error.has_value());
    EXPECT_EQ(refused.error->domain, "ModelManager.Transport") << refused.error->description;
    EXPECT_FALSE(fs::exists(dir / "ggml-small.bin"));
    EXPECT_TRUE(server.requests().empty());

    ModelManager direct(dir.path(), secureOptions("/direct"));
    auto fetched = download(direct, ModelTier::small);
    EXPECT_EQ(fetched.error, std::nullopt) << fetched.error->description;
    EXPECT_TRUE(fs::exists(dir / "ggml-small.bin"));
    secure.stop();
    serving.join();
}

TEST_F(ModelManagerTest, UnknownLengthGivesNoProgressUntilTheEnd) {
    ModelManager manager(dir.path(), options("/chunked"));
    auto run = download(manager, ModelTier::small);
    EXPECT_EQ(run.error, std::nullopt);
    EXPECT_EQ(run.progress, std::vector<double>{1.0});
    EXPECT_EQ(fs::file_size(dir / "ggml-small.bin"), body.size());
}

TEST_F(ModelManagerTest, TruncatedAndStalledTransfersFail) {
    ModelManager shortManager(dir.path(), options("/short"));
    auto truncated = download(shortManager, ModelTier::small);
    ASSERT_TRUE(truncated.error.has_value());
    EXPECT_FALSE(fs::exists(dir / "ggml-small.bin"));
    EXPECT_TRUE(noPartialFiles(dir.path()));

    ModelManager stallManager(dir.path(), options("/stall"));
    auto stalled = download(stallManager, ModelTier::small);
    ASSERT_TRUE(stalled.error.has_value());
    EXPECT_EQ(stalled.error->domain, "ModelManager.Transport");
    EXPECT_FALSE(fs::exists(dir / "ggml-small.bin"));
    EXPECT_TRUE(noPartialFiles(dir.path()));
}

TEST_F(ModelManagerTest, ADownloadThatIsNoModelNeverTakesItsPlace) {
    for (const char* prefix : {"/portal", "/cut"}) {
        ModelManager manager(dir.path(), options(prefix));
        auto run = download(manager, ModelTier::small);
        ASSERT_TRUE(run.error.has_value()) << prefix;
        EXPECT_EQ(run.error->domain, "ModelManager.Validation");
        EXPECT_EQ(run.error->description.rfind("Downloaded file from " + server.url(prefix) +
                                                   "/resolve/main/ggml-small.bin is not a usable model: ",
                                               0),
                  0u)
            << run.error->description;
        EXPECT_FALSE(fs::exists(dir / "ggml-small.bin")) << prefix;
        EXPECT_TRUE(noPartialFiles(dir.path()));
    }

    // The published sums hold by default, and a sum that differs is refused.
    ModelManager published(dir.path(), [&] {
        auto o = options("/m");
        o.modelSha1 = ModelManager::publishedModelSha1();
        return o;
    }());
    auto wrongSum = download(published, ModelTier::small);
    ASSERT_TRUE(wrongSum.error.has_value());
    EXPECT_EQ(wrongSum.error->domain, "ModelManager.Validation");
    EXPECT_NE(wrongSum.error->description.find("expected 55356645c2b361a969dfd0ef2c5a50d530afd8d5"), std::string::npos)
        << wrongSum.error->description;
    EXPECT_FALSE(fs::exists(dir / "ggml-small.bin"));

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(body.data(), body.size(), digest, &length, EVP_sha1(), nullptr);
    std::string sum;
    for (unsigned i = 0; i < length; ++i)
        sum += "0123456789abcdef"[digest[i] >> 4], sum += "0123456789abcdef"[digest[i] & 15];
    auto o = options("/m");
    o.modelSha1[ModelTier::small] = sum;
    ModelManager matching(dir.path(), o);
    auto rightSum = download(matching, ModelTier::small);
    EXPECT_EQ(rightSum.error, std::nullopt) << rightSum.error->description;
    EXPECT_TRUE(fs::exists(dir / "ggml-small.bin"));
}

// What an older version let through (or a damaged disk) is no reason to stop downloading for good.
TEST_F(ModelManagerTest, AModelFileThatIsNoModelIsSetAsideAndFetchedAgain) {
    std::ofstream(dir / "ggml-small.bin") << "<html>captive portal</html>";
    ModelManager manager(dir.path(), options("/m"));
    auto run = download(manager, ModelTier::small);
    ASSERT_EQ(run.error, std::nullopt) << run.error->description;
    std::string stored;
    ASSERT_TRUE(readFile(dir / "ggml-small.bin", stored));
    EXPECT_EQ(stored, body);
    ASSERT_TRUE(readFile(dir / "ggml-small.bin.invalid", stored));
    EXPECT_EQ(stored, "<html>captive portal</html>");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(ModelManagerTest, ACancelledDownloadLeavesNothingAndReportsNothing) {
    ModelManager manager(dir.path(), options("/stall"));
    bool finished = false;
    {
        auto handle = manager.ensureDownloaded(
            ModelTier::small, [](double) {}, [&](std::optional<ModelDownloadError>) { finished = true; });
        ASSERT_TRUE(server.waitForRequests(1));
    }  // the consumer goes away
    // The job notices the cancel at its next progress check; wait for the folder to be clean.
    ASSERT_TRUE(world.loop().runUntil([&] { return noPartialFiles(dir.path()); }, std::chrono::seconds(10)));
    world.loop().runPending();
    EXPECT_FALSE(finished);
    EXPECT_FALSE(fs::exists(dir / "ggml-small.bin"));
}

TEST_F(ModelManagerTest, MissingEncoderIsFetchedButItsFailureIsNotReported) {
    ModelManager manager(dir.path(), options("/m", true));
    ASSERT_TRUE(writeFileAtomically(dir / "ggml-small.bin", body));
    auto run = download(manager, ModelTier::small);
    EXPECT_EQ(run.error, std::nullopt);
    EXPECT_EQ(run.progress, (std::vector<double>{0.5, 1.0}));
    EXPECT_FALSE(fs::exists(dir / "ggml-small-encoder.mlmodelc.zip"));
    EXPECT_FALSE(fs::exists(dir / "ggml-small-encoder.mlmodelc"));

    encoderZip = makeZip(
        {{"ggml-small-encoder.mlmodelc/", "", false}, {"ggml-small-encoder.mlmodelc/weights.bin", "weights", false}});
    auto withEncoder = download(manager, ModelTier::small);
    EXPECT_EQ(withEncoder.error, std::nullopt);
    EXPECT_EQ(withEncoder.progress.front(), 0.5);
    EXPECT_EQ(withEncoder.progress.back(), 1.0);
    std::string weights;
    EXPECT_TRUE(readFile(dir / "ggml-small-encoder.mlmodelc" / "weights.bin", weights));
    EXPECT_EQ(weights, "weights");
    EXPECT_FALSE(fs::exists(dir / "ggml-small-encoder.mlmodelc.zip"));
    EXPECT_TRUE(noPartialFiles(dir.path()));

    // smallQ5 shares the folder: deleting it takes the encoder along.
    ASSERT_TRUE(writeFileAtomically(dir / "ggml-small-q5_1.bin", "q5"));
    manager.deleteModel(ModelTier::smallQ5);
    EXPECT_FALSE(fs::exists(dir / "ggml-small-q5_1.bin"));
    EXPECT_FALSE(fs::exists(dir / "ggml-small-encoder.mlmodelc"));
    EXPECT_TRUE(fs::exists(dir / "ggml-small.bin"));
}

TEST(EncoderUnpacking, RefusesEntriesThatLeaveTheFolder) {
    test::TempDir dir;
    const fs::path models = dir / "Models";
    auto tryZip = [&](const std::string& name, const std::string& zip) {
        const fs::path archive = dir / name;
        std::ofstream(archive, std::ios::binary) << zip;
        return ModelManager::unzipEncoder(archive, models);
    };
    auto climbing = tryZip("climb.zip", makeZip({{"../escaped.txt", "x", false}}));
    ASSERT_TRUE(climbing.has_value());
    EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
    auto absolute = tryZip("abs.zip", makeZip({{"/tmp/vandrel-absolute-entry.txt", "x", false}}));
    ASSERT_TRUE(absolute.has_value());
    EXPECT_FALSE(fs::exists("/tmp/vandrel-absolute-entry.txt"));
    auto link = tryZip("link.zip", makeZip({{"enc.mlmodelc/", "", false}, {"enc.mlmodelc/l", "/etc/passwd", true}}));
    ASSERT_TRUE(link.has_value());
    EXPECT_FALSE(fs::exists(models / "enc.mlmodelc"));
    for (const auto& e : fs::directory_iterator(models)) ADD_FAILURE() << "left behind: " << e.path();

    EXPECT_EQ(tryZip("ok.zip", makeZip({{"enc.mlmodelc/", "", false}, {"enc.mlmodelc/a", "a", false}})), std::nullopt);
    EXPECT_TRUE(fs::exists(models / "enc.mlmodelc" / "a"));
}

TEST(EncoderUnpacking, UnzipFailureDescribesArchiveFolderStatusAndMessage) {
    test::TempDir dir;
    const fs::path tool = dir / "fake-unzip";
    std::ofstream(tool) << "#!/bin/sh\necho '  cannot find zipfile ' >&2\nexit 9\n";
    fs::permissions(tool, fs::perms::owner_all);
    auto error = ModelManager::unzipEncoder(dir / "enc.zip", dir / "Models", tool.string());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "ModelManager.Unzip");
    EXPECT_EQ(error->code, 9);
    EXPECT_EQ(error->description, "Failed to extract enc.zip into Models (exit 9): cannot find zipfile");

    auto real = ModelManager::unzipEncoder(dir / "absent.zip", dir / "Models");
    ASSERT_TRUE(real.has_value());
    EXPECT_EQ(real->description.rfind("Failed to extract absent.zip into Models (exit 9)", 0), 0u) << real->description;
}

TEST(ModelTiers, Catalogue) {
    EXPECT_EQ(modelTierFromRawValue("Small"), std::nullopt);
    EXPECT_EQ(modelTierFromRawValue("smallQ5"), ModelTier::smallQ5);
    EXPECT_EQ(encoderFolderName(ModelTier::largeTurboQ5), "ggml-large-v3-turbo-encoder.mlmodelc");
    EXPECT_EQ(encoderFolderName(ModelTier::small), "ggml-small-encoder.mlmodelc");
    EXPECT_EQ(encoderFolderName(ModelTier::smallQ5), "ggml-small-encoder.mlmodelc");
    EXPECT_EQ(encoderFolderName(ModelTier::base), "ggml-base-encoder.mlmodelc");
    EXPECT_EQ(encoderDownloadURL(ModelTier::base, "https://h/resolve/main/"),
              "https://h/resolve/main/ggml-base-encoder.mlmodelc.zip");
    EXPECT_EQ(downloadURL(ModelTier::largeTurboQ5, "https://h/resolve/main/"),
              "https://h/resolve/main/ggml-large-v3-turbo-q5_0.bin");
    Bundle german("de", {{"Accurate", "Genau"}});
    EXPECT_EQ(displayName(ModelTier::largeTurboQ5, german), "Genau");
    EXPECT_EQ(displayName(ModelTier::base, german), "[Dev] Base");
    EXPECT_EQ(descriptionText(ModelTier::base, german), "Development model");
    EXPECT_TRUE(smallModelLanguages().count("it"));
}

}  // namespace
