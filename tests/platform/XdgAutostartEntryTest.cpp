#include "platform/xdg/XdgAutostartEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/AppInfo.h"
#include "base/FileUtil.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
namespace fs = std::filesystem;

TEST(XdgAutostartEntry, ExecLineQuotesAndEscapesAsDesktopEntriesRequire) {
    const auto exec = [](const std::string& path) -> std::string {
        auto text = XdgAutostartEntry::entryText(path);
        if (!text) return "(none)";
        const auto at = text->find("Exec=");
        return text->substr(at + 5, text->find('\n', at) - at - 5);
    };
    EXPECT_EQ(exec("/usr/bin/vandrel"), "/usr/bin/vandrel");
    EXPECT_EQ(exec("/opt/My Apps/vandrel"), "\"/opt/My Apps/vandrel\"");
    // Inside quotes ", `, $ and \ take a backslash, which the file format's string escaping doubles;
    // a field code character % is written twice.
    EXPECT_EQ(exec("/opt/a$b/100%/v"), "\"/opt/a\\\\$b/100%%/v\"");
    EXPECT_EQ(exec("/opt/back\\slash/v"), "\"/opt/back\\\\\\\\slash/v\"");
    EXPECT_EQ(exec("/opt/new\nline/v"), "(none)");
    EXPECT_EQ(exec("relative/vandrel"), "(none)");
}

TEST(XdgAutostartEntry, RegisteringWritesTheEntryAndRemovingItUnregisters) {
    test::TempDir config;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().string());
    EXPECT_EQ(XdgAutostartEntry::defaultEntryFile(), config / "autostart/com.harstow.Vandrel.desktop");
    {
        test::ScopedEnv relative("XDG_CONFIG_HOME", "not/absolute");
        test::ScopedEnv home("HOME", "/home/someone");
        EXPECT_EQ(XdgAutostartEntry::defaultEntryFile(),
                  fs::path("/home/someone/.config/autostart/com.harstow.Vandrel.desktop"));
    }
    XdgAutostartEntry entry(XdgAutostartEntry::defaultEntryFile(), "/usr/bin/vandrel");
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_TRUE(entry.unregisterItem());  // nothing there counts as removed
    ASSERT_TRUE(entry.registerItem());
    EXPECT_TRUE(entry.isEnabled());
    std::string text;
    ASSERT_TRUE(readFile(entry.entryFile(), text));
    EXPECT_EQ(
        text.rfind("[Desktop Entry]\nType=Application\nName=" + AppInfo::applicationName() + "\nIcon=vandrel\n", 0), 0u)
        << text;
    EXPECT_TRUE(entry.unregisterItem());
    EXPECT_FALSE(entry.isEnabled());
    EXPECT_TRUE(fs::is_empty(config / "autostart"));  // no temporary file left behind

    XdgAutostartEntry unwritable(fs::path("/proc/self/autostart/vandrel.desktop"), "/usr/bin/vandrel");
    EXPECT_FALSE(unwritable.registerItem());
    EXPECT_FALSE(unwritable.isEnabled());
}

TEST(XdgAutostartEntry, RegisteringAgainLeavesAnUnchangedEntryAlone) {
    test::TempDir config;
    const fs::path file = config / "autostart/vandrel.desktop";
    const auto inode = [&] {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    XdgAutostartEntry entry(file, "/usr/bin/vandrel");
    ASSERT_TRUE(entry.registerItem());
    const auto first = inode();
    ASSERT_NE(first, ino_t{0});
    // An atomic write renames a new file over the entry: the same inode means nothing was written.
    EXPECT_TRUE(entry.registerItem());
    EXPECT_EQ(inode(), first);

    XdgAutostartEntry moved(file, "/opt/vandrel/bin/vandrel");
    ASSERT_TRUE(moved.registerItem());
    EXPECT_NE(inode(), first);
    std::string text;
    ASSERT_TRUE(readFile(file, text));
    EXPECT_EQ(text, *XdgAutostartEntry::entryText("/opt/vandrel/bin/vandrel"));
}

TEST(XdgAutostartEntry, AnEntryTheDesktopSwitchedOffReadsAsOff) {
    test::TempDir config;
    const fs::path file = config / "autostart/vandrel.desktop";
    XdgAutostartEntry entry(file, "/usr/bin/vandrel");
    const auto written = [&](const std::string& key) {
        std::string text = *XdgAutostartEntry::entryText("/usr/bin/vandrel");
        text.replace(text.find("X-GNOME-Autostart-enabled=true\n"), std::string::npos, key);
        return writeFileAtomically(file, text);
    };
    ASSERT_TRUE(entry.registerItem());
    ASSERT_TRUE(written("Hidden = true\n"));
    EXPECT_FALSE(entry.isEnabled());
    ASSERT_TRUE(written("X-GNOME-Autostart-enabled=false\n"));
    EXPECT_FALSE(entry.isEnabled());
    // Only the main group counts; an action group's keys say nothing about the entry.
    ASSERT_TRUE(written("Hidden=false\n[Desktop Action Quit]\nHidden=true\n"));
    EXPECT_TRUE(entry.isEnabled());
    // Switching it on again writes a fresh entry over the switched-off one.
    ASSERT_TRUE(written("Hidden=true\n"));
    ASSERT_TRUE(entry.registerItem());
    EXPECT_TRUE(entry.isEnabled());
}

TEST(XdgAutostartEntry, AnEntryUnderTheFormerNameCountsUntilTheNextWriteMovesIt) {
    test::TempDir config;
    const fs::path former = config / "autostart/vandrel.desktop";
    const fs::path current = config / "autostart/com.harstow.Vandrel.desktop";
    fs::create_directories(former.parent_path());
    ASSERT_TRUE(writeFileAtomically(former, *XdgAutostartEntry::entryText("/usr/bin/vandrel")));
    XdgAutostartEntry entry(current, "/usr/bin/vandrel", former);
    EXPECT_TRUE(entry.isEnabled());
    ASSERT_TRUE(entry.registerItem());
    EXPECT_TRUE(fs::exists(current));
    EXPECT_FALSE(fs::exists(former));  // one entry, or Vandrel would start twice at login

    ASSERT_TRUE(writeFileAtomically(former, "[Desktop Entry]\nHidden=true\n"));
    ASSERT_TRUE(entry.unregisterItem());
    EXPECT_TRUE(fs::is_empty(former.parent_path()));
}
