// Which device the real libwhisper decodes on: the Vulkan one when a GPU is visible (here Mesa's lavapipe,
// a Vulkan device on the CPU that ggml ignores unless GGML_VK_VISIBLE_DEVICES names it), else the CPU, also
// when Vulkan fails to start or its loader library is missing.
//
// ggml loads its backends once per process, so every case needs a process of its own (ctest runs each
// case alone); a case that finds the library already loaded by an earlier one skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "base/FileUtil.h"
#include "speech/WhisperContext.h"
#include "speech/WhisperLibrary.h"
#include "support/TestEnvironment.h"
#include "support/TinyWhisperModel.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

// Every decode of this model is the one text token, then end of text, whatever computes it.
constexpr std::int32_t kOnlyTextToken = 1000;
constexpr const char* kDecodedText = " w1000";

class WhisperBackend : public ::testing::Test {
protected:
    void SetUp() override {
        static bool s_loadedBefore = false;
        if (s_loadedBefore) GTEST_SKIP() << "ggml's backends are already loaded in this process; run alone";
        s_loadedBefore = true;
        test::TinyWhisperModelOptions options;
        options.onlyTextToken = kOnlyTextToken;
        test::writeTinyWhisperModel(m_model, options);
    }

    static fs::path libraryDir() { return fs::path(VANDREL_WHISPER_LIBRARY).parent_path(); }
    static bool hasVulkanModule() { return fs::exists(libraryDir() / "libggml-vulkan.so"); }

    // The Mesa software Vulkan driver, alone, so no other driver of the machine takes part.
    static std::optional<std::string> lavapipeIcd() {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/usr/share/vulkan/icd.d", ec))
            if (entry.path().filename().string().starts_with("lvp_icd")) return entry.path().string();
        return std::nullopt;
    }

    struct Run {
        bool loaded = false;
        std::string device;
        WhisperContext::DecodeStatus status = WhisperContext::DecodeStatus::failed;
        std::string text;
        std::string log;
    };

    // Loads the library from `library`, the model, and decodes two seconds of a tone; what we and whisper
    // logged meanwhile comes back with the result.
    Run loadAndDecode(const fs::path& library = VANDREL_WHISPER_LIBRARY) {
        WhisperLibrary::setLibraryPath(library);
        WhisperLibrary::resetForTesting();
        Run run;
        testing::internal::CaptureStdout();
        {
            auto ctx = WhisperContext::create(m_model.string());
            run.loaded = ctx != nullptr;
            if (ctx) {
                run.device = WhisperLibrary::computeDevice();
                std::vector<float> samples(32000);
                for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * std::sin(float(i) * 0.05f);
                run.status = ctx->full(samples, "en", std::nullopt);
                run.text = ctx->segmentText();
            }
        }
        run.log = testing::internal::GetCapturedStdout();
        return run;
    }

    static void expectDecodedOnTheCpu(const Run& run) {
        ASSERT_TRUE(run.loaded) << WhisperLibrary::loadError() << run.log;
        EXPECT_TRUE(run.device.starts_with("CPU")) << run.device;
        EXPECT_NE(run.log.find("Model loaded on CPU"), std::string::npos) << run.log;
        EXPECT_EQ(run.log.find("using Vulkan"), std::string::npos) << run.log;
        EXPECT_EQ(run.status, WhisperContext::DecodeStatus::success);
        EXPECT_EQ(run.text, kDecodedText);
    }

    static std::size_t count(const std::string& haystack, const std::string& needle) {
        std::size_t n = 0;
        for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
        return n;
    }

    test::TempDir m_dir;
    fs::path m_model = m_dir / "ggml-tiny-fixed.bin";
};

TEST_F(WhisperBackend, DecodesOnTheVulkanDeviceWhenOneIsVisible) {
    if (!hasVulkanModule()) GTEST_SKIP() << "whisper.cpp was built without its Vulkan backend";
    const auto icd = lavapipeIcd();
    ASSERT_TRUE(icd) << "no lavapipe driver in /usr/share/vulkan/icd.d (Debian: mesa-vulkan-drivers)";
    test::ScopedEnv drivers("VK_ICD_FILENAMES", *icd);
    test::ScopedEnv visible("GGML_VK_VISIBLE_DEVICES", "0");

    const Run run = loadAndDecode();
    ASSERT_TRUE(run.loaded) << WhisperLibrary::loadError() << run.log;
    EXPECT_TRUE(run.device.starts_with("Vulkan0 (")) << run.device;
    EXPECT_EQ(count(run.log, "Model loaded on Vulkan0"), 1u) << run.log;
    // whisper's own account: the compute backend and the weights' buffer are on the device.
    EXPECT_NE(run.log.find("using Vulkan0 backend"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("Vulkan0 total size"), std::string::npos) << run.log;
    EXPECT_EQ(run.status, WhisperContext::DecodeStatus::success);
    EXPECT_EQ(run.text, kDecodedText);
}

TEST_F(WhisperBackend, DecodesOnTheCpuWhenTheOnlyVulkanDeviceIsACpu) {
    if (const auto icd = lavapipeIcd()) {
        test::ScopedEnv drivers("VK_ICD_FILENAMES", *icd);
        test::ScopedEnv visible("GGML_VK_VISIBLE_DEVICES", std::nullopt);
        const Run run = loadAndDecode();
        expectDecodedOnTheCpu(run);
        // Not a failure: nothing to report beyond the device in use.
        EXPECT_EQ(run.log.find("GPU backend unavailable"), std::string::npos) << run.log;
    } else {
        expectDecodedOnTheCpu(loadAndDecode());
    }
}

TEST_F(WhisperBackend, FallsBackToTheCpuWhenVulkanFailsToStart) {
    if (!hasVulkanModule()) GTEST_SKIP() << "whisper.cpp was built without its Vulkan backend";
    // A driver manifest whose library does not exist: the Vulkan loader finds no usable driver.
    const fs::path manifest = m_dir / "broken_icd.json";
    std::ofstream(manifest) << R"({"file_format_version": "1.0.0",
        "ICD": {"library_path": ")"
                            << (m_dir / "libvulkan_missing.so").string() << R"(", "api_version": "1.3.0"}})";
    test::ScopedEnv drivers("VK_ICD_FILENAMES", manifest.string());
    test::ScopedEnv visible("GGML_VK_VISIBLE_DEVICES", "0");

    const Run run = loadAndDecode();
    expectDecodedOnTheCpu(run);
    EXPECT_EQ(count(run.log, "GPU backend unavailable (Vulkan did not start); decoding on the CPU"), 1u) << run.log;
}

TEST_F(WhisperBackend, LoadsAndDecodesOnTheCpuWithoutTheVulkanLoader) {
    if (!hasVulkanModule()) GTEST_SKIP() << "whisper.cpp was built without its Vulkan backend";
    // A copy of the libraries in which the Vulkan module asks for a loader library that no system has,
    // as on a machine without libvulkan.so.1. Only that module may need the loader.
    const std::string loader("libvulkan.so.1\0", 15);
    const std::string absent("libvk-absent.1\0", 15);
    const fs::path copy = m_dir / "lib";
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(libraryDir())) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("lib") || name.find(".so") == std::string::npos || !entry.is_regular_file()) continue;
        std::string bytes;
        ASSERT_TRUE(readFile(entry.path(), bytes)) << name;
        if (name == "libggml-vulkan.so") {
            std::size_t replaced = 0;
            for (auto at = bytes.find(loader); at != std::string::npos; at = bytes.find(loader, at)) {
                std::copy(absent.begin(), absent.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
                ++replaced;
            }
            ASSERT_GT(replaced, 0u) << "the Vulkan module does not name " << loader.c_str();
        } else {
            EXPECT_EQ(bytes.find(loader), std::string::npos) << name << " needs the Vulkan loader";
        }
        std::ofstream(copy / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    test::ScopedEnv visible("GGML_VK_VISIBLE_DEVICES", "0");

    const Run run = loadAndDecode(copy / "libwhisper.so");
    expectDecodedOnTheCpu(run);
    EXPECT_EQ(count(run.log, "GPU backend unavailable (libvk-absent.1: cannot open shared object file"), 1u) << run.log;
}

}  // namespace
