#include "platform/xdg/XdgApplicationEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/FileUtil.h"
#include "base/Paths.h"
#include "base/ProgramRun.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
namespace fs = std::filesystem;
using Outcome = XdgApplicationEntry::Outcome;

namespace {

constexpr const char* kName = "com.harstow.Vandrel.desktop";

// The program GLib would start for the application's id, found as the desktop portal finds it (GLib's desktop
// entries, in the folders of this environment), its Exec split as GLib splits it; empty when GLib finds none.
std::string launchedByGlib() {
    const auto run =
        ProgramRun::run({"/usr/bin/python3", "-c",
                         "from gi.repository import Gio, GLib\n"
                         "try:\n"
                         "    info = Gio.DesktopAppInfo.new('" +
                             std::string(kName) +
                             "')\n"
                             "except TypeError:\n"  // none found
                             "    info = None\n"
                             "print(GLib.shell_parse_argv(info.get_commandline())[1][0] if info else '', end='')\n"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.out;
}

ino_t inode(const fs::path& file) {
    struct stat st {};
    return ::lstat(file.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
}

}  // namespace

TEST(XdgApplicationEntry, ABuildThatRunsWritesTheEntryThePortalFindsAndMendsItWhenTheBuildMoves) {
    test::TempDir t;
    test::ScopedEnv dataHome("XDG_DATA_HOME", (t / "home").string());
    // Relative folders are no data folders.
    test::ScopedEnv dataDirs("XDG_DATA_DIRS", (t / "local").string() + ":share::" + (t / "system").string());
    EXPECT_EQ(Paths::systemDataDirs(), (std::vector<fs::path>{t / "local", t / "system"}));
    const fs::path entry = t / "home/applications" / kName;
    ASSERT_EQ(launchedByGlib(), "");

    EXPECT_EQ(XdgApplicationEntry::forRunningBinary().ensure(), Outcome::written);
    EXPECT_EQ(launchedByGlib(), Paths::executable().string());
    const auto first = inode(entry);
    EXPECT_EQ(XdgApplicationEntry::forRunningBinary().ensure(), Outcome::found);
    EXPECT_EQ(inode(entry), first);  // nothing written: an atomic write is a new file

    // The build folder moved, to a path the Exec key has to quote. (GLib takes no entry whose program is not
    // there.)
    const fs::path moved = t / "My \"Build\"/bin/vandrel";
    fs::create_directories(moved.parent_path());
    ASSERT_TRUE(writeFileAtomically(moved, "#!/bin/sh\n"));
    fs::permissions(moved, fs::perms::owner_all);
    const XdgApplicationEntry again(t / "home/applications", {t / "local/applications"}, moved);
    EXPECT_EQ(again.ensure(), Outcome::updated);
    EXPECT_EQ(launchedByGlib(), moved.string());
    std::string text;
    ASSERT_TRUE(readFile(entry, text));
    EXPECT_EQ(text, *XdgApplicationEntry::entryText(moved));
    EXPECT_NE(text.find("\nNoDisplay=true\n"), std::string::npos) << text;

    const XdgApplicationEntry unwritable("/proc/self/applications", {}, moved);
    EXPECT_EQ(unwritable.ensure(), Outcome::failed);
}

TEST(XdgApplicationEntry, AnEntryVandrelDidNotWriteIsLeftAsItIsAndAnInstalledOneTakesOver) {
    test::TempDir t;
    const fs::path user = t / "home/applications", installed = t / "system/applications";
    fs::create_directories(user);
    const XdgApplicationEntry entry(user, {t / "local/applications", installed}, "/home/u/build/bin/vandrel");

    // The user's own, and a link of the user's to one that looks like ours: neither is touched.
    const std::string own = "[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/mine\n";
    ASSERT_TRUE(writeFileAtomically(user / kName, own));
    EXPECT_EQ(entry.ensure(), Outcome::found);
    std::string text;
    ASSERT_TRUE(readFile(user / kName, text));
    EXPECT_EQ(text, own);
    ASSERT_TRUE(writeFileAtomically(t / "elsewhere.desktop", *XdgApplicationEntry::entryText("/old/vandrel")));
    fs::remove(user / kName);
    fs::create_symlink(t / "elsewhere.desktop", user / kName);
    EXPECT_EQ(entry.ensure(), Outcome::found);
    EXPECT_TRUE(fs::is_symlink(user / kName));
    fs::remove(user / kName);

    // An installed entry serves: none is written, and ours, written before the install, goes.
    fs::create_directories(installed);
    ASSERT_TRUE(writeFileAtomically(installed / kName, own));
    EXPECT_EQ(entry.ensure(), Outcome::found);
    EXPECT_FALSE(fs::exists(user / kName));
    ASSERT_TRUE(writeFileAtomically(user / kName, *XdgApplicationEntry::entryText("/home/u/build/bin/vandrel")));
    EXPECT_EQ(entry.ensure(), Outcome::found);
    EXPECT_FALSE(fs::exists(user / kName));
    EXPECT_TRUE(fs::exists(installed / kName));
}
