// The whisper.cpp shared library arrives with the build and can be loaded at run time.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <whisper.h>

#include <string>

TEST(WhisperLibrary, LoadsAndReportsTheVersionItWasBuiltFrom) {
    void* handle = dlopen(VANDREL_WHISPER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using VersionFn = const char* (*)();
    auto version = reinterpret_cast<VersionFn>(dlsym(handle, "whisper_version"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(version()), "1.9.1");
    // The symbols the application binds by name must all be there.
    for (const char* sym : {"whisper_init_from_file_with_params", "whisper_full", "whisper_free", "whisper_lang_id",
                            "whisper_full_default_params", "whisper_context_default_params"})
        EXPECT_NE(dlsym(handle, sym), nullptr) << sym;
    dlclose(handle);
}
