#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/FileUtil.h"
#include "base/UserDefaults.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using vandrel::test::TempDir;

namespace {
std::string slurp(const std::filesystem::path& p) {
    std::string s;
    readFile(p, s);
    return s;
}
}  // namespace

TEST(UserDefaults, RegisteredDefaultsApplyUntilAValueIsStoredAndAreNeverSaved) {
    TempDir dir;
    auto file = dir / "defaults.json";
    auto d = UserDefaults::openFile(file);
    d->registerDefaults({{"cancelWithEscape", true}, {"clipboardRestoreDelay", 1.5}});
    EXPECT_TRUE(d->boolValue("cancelWithEscape"));
    EXPECT_DOUBLE_EQ(d->doubleValue("clipboardRestoreDelay"), 1.5);
    EXPECT_FALSE(d->boolValue("missing"));
    EXPECT_FALSE(d->string("missing").has_value());
    d->setBool("cancelWithEscape", false);
    EXPECT_FALSE(d->boolValue("cancelWithEscape"));
    d->remove("cancelWithEscape");
    EXPECT_TRUE(d->boolValue("cancelWithEscape"));
    auto j = nlohmann::json::parse(slurp(file));
    EXPECT_FALSE(j.contains("cancelWithEscape"));
    EXPECT_FALSE(j.contains("clipboardRestoreDelay"));
}

TEST(UserDefaults, EveryTypeSurvivesSaveAndReloadExactly) {
    TempDir dir;
    auto file = dir / "defaults.json";
    {
        auto d = UserDefaults::openFile(file);
        d->setBool("b", false);
        d->setInteger("i", 0);
        d->setInteger("big", INT64_MAX);
        d->setDouble("whole", 2.0);
        d->setDouble("frac", 0.1);
        d->setString("s", "Grüße \"quoted\" \\ %@");
        d->setString("empty", "");
        d->setStringList("one", {"de"});
        d->setStringList("none", {});
        d->setStringList("three", {"de", "en", "it"});
    }
    auto d = UserDefaults::openFile(file);
    EXPECT_EQ(d->storedValue("b"), DefaultsValue(false));
    EXPECT_EQ(d->storedValue("i"), DefaultsValue(std::int64_t{0}));
    EXPECT_EQ(d->storedValue("big"), DefaultsValue(std::int64_t{INT64_MAX}));
    EXPECT_EQ(d->storedValue("whole"), DefaultsValue(2.0));  // stays a double, not an integer
    EXPECT_EQ(d->storedValue("frac"), DefaultsValue(0.1));
    EXPECT_EQ(d->string("s"), "Grüße \"quoted\" \\ %@");
    EXPECT_EQ(d->string("empty"), "");
    EXPECT_EQ(d->stringList("one"), StringList{"de"});  // not collapsed to a string
    EXPECT_EQ(d->stringList("none"), StringList{});
    EXPECT_EQ(d->stringList("three"), (StringList{"de", "en", "it"}));
}

TEST(UserDefaults, CoercionsFollowTheTypeOfTheStoredValue) {
    auto d = UserDefaults::inMemory();
    d->setInteger("n", 3);
    d->setString("numeric", "2.5");
    d->setString("word", "abc");
    d->setString("yes", "YES");
    d->setStringList("list", {"a"});
    EXPECT_TRUE(d->boolValue("n"));
    EXPECT_DOUBLE_EQ(d->doubleValue("numeric"), 2.5);
    EXPECT_EQ(d->integer("numeric"), 2);
    EXPECT_EQ(d->integer("word"), 0);
    EXPECT_FALSE(d->optionalDouble("word").has_value());
    EXPECT_TRUE(d->boolValue("yes"));
    EXPECT_FALSE(d->string("n").has_value());  // a number is not a string
    EXPECT_FALSE(d->stringList("word").has_value());
    EXPECT_FALSE(d->string("list").has_value());
}

TEST(UserDefaults, ChangeSignalFiresOnRealChangesOnly) {
    auto d = UserDefaults::inMemory();
    std::vector<std::string> keys;
    auto c = d->changed.connect([&](const std::string& k) { keys.push_back(k); });
    d->setString("a", "x");
    d->setString("a", "x");  // same value
    d->setString("a", "y");
    d->remove("a");
    d->remove("a");                // already gone
    d->set("b", DefaultsValue{});  // setting "absent" removes; nothing stored
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "a", "a"}));
}

TEST(UserDefaults, BadFilesNeverCrashAndAreKeptAside) {
    for (const std::string& content :
         {std::string("{\"hotkeyOption\": \"rightOption\", \"x\":"), std::string("not json at all"),
          std::string("[1,2,3]"), std::string("\"string\""), std::string(""), std::string("\xff\xfe{}")}) {
        TempDir dir;
        auto file = dir / "defaults.json";
        std::ofstream(file) << content;
        auto d = UserDefaults::openFile(file);
        EXPECT_FALSE(d->contains("hotkeyOption")) << content;
        EXPECT_TRUE(std::filesystem::exists(dir / "defaults.json.corrupt")) << content;
        EXPECT_EQ(slurp(dir / "defaults.json.corrupt"), content);
        d->setString("k", "v");  // the store is usable and writes a fresh file
        EXPECT_EQ(nlohmann::json::parse(slurp(file))["k"], "v");
    }
}

// A settings file that is a link to a device used to be read until memory ran out.
TEST(UserDefaults, AFileThatIsNoRegularFileOrTooLargeIsKeptAsideLikeACorruptOne) {
    for (const std::string kind : {"/dev/zero", "/dev/urandom", "pipe", "huge"}) {
        TempDir dir;
        auto file = dir / "defaults.json";
        if (kind == "pipe") {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else if (kind == "huge") {
            std::ofstream(file) << "{}";
            std::filesystem::resize_file(file, UserDefaults::kMaxFileBytes + 1);
        } else {
            std::filesystem::create_symlink(kind, file);
        }
        auto d = UserDefaults::openFile(file);
        EXPECT_TRUE(d->keys().empty()) << kind;
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir / "defaults.json.corrupt"))) << kind;
        d->setString("k", "v");
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file))) << kind;
        EXPECT_EQ(nlohmann::json::parse(slurp(file))["k"], "v") << kind;
    }
}

// Saving used to replace a file that was only unreadable for now, taking the user's settings with it.
TEST(UserDefaults, AFileThatIsThereButCannotBeReadIsNeverSavedOver) {
    for (const std::string kind : {"loop", "dangling"}) {
        TempDir dir;
        auto file = dir / "defaults.json";
        std::filesystem::create_symlink(kind == "loop" ? file : dir / "elsewhere" / "defaults.json", file);
        auto d = UserDefaults::openFile(file);
        d->setString("k", "v");
        EXPECT_EQ(d->string("k"), "v") << kind;  // kept for this run
        EXPECT_FALSE(d->flush()) << kind;
        EXPECT_TRUE(std::filesystem::is_symlink(file)) << kind;
        EXPECT_FALSE(std::filesystem::exists(dir / "defaults.json.corrupt")) << kind;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << kind;
    }
    // A file of mode 000 in a folder the user may write, opened as a user who is not root (root reads
    // any file).
    TempDir dir;
    auto file = dir / "defaults.json";
    std::ofstream(file) << R"({"k": "theirs"})";
    ::chmod(file.c_str(), 0);
    ::chmod(dir.path().c_str(), 0777);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) _exit(2);
        auto d = UserDefaults::openFile(file);
        d->setString("k", "ours");
        _exit(d->string("k") == "ours" && !d->flush() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::chmod(file.c_str(), 0600);
    EXPECT_EQ(slurp(file), R"({"k": "theirs"})");
}

// A dotfiles repository (GNU Stow) links the settings file into the config folder, here through a chain:
// a relative link to a second one beside it, which links to the repository's file by an absolute path.
TEST(UserDefaults, ASettingsFileKeptAsALinkIsWrittenThroughAndStaysALink) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directories(dir / "dotfiles" / "vandrel");
    fs::create_directories(dir / "config");
    const auto kept = dir / "dotfiles" / "vandrel" / "defaults.json";
    std::ofstream(kept) << R"({"k": "theirs", "other": 1})";
    // A temporary file of a writer killed mid-save lies beside the file written, not beside the link.
    const auto leftover = dir / "dotfiles" / "vandrel" / "defaults.json.tmp-1-42";
    std::ofstream(leftover) << "{";
    fs::create_symlink(kept, dir / "config" / "stow.json");
    fs::create_symlink("stow.json", dir / "config" / "defaults.json");

    auto d = UserDefaults::openFile(dir / "config" / "defaults.json");
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_EQ(d->string("k"), "theirs");
    d->setString("k", "ours");
    ASSERT_TRUE(d->flush());
    EXPECT_EQ(fs::read_symlink(dir / "config" / "defaults.json"), "stow.json");
    EXPECT_EQ(fs::read_symlink(dir / "config" / "stow.json"), kept);
    const auto saved = nlohmann::json::parse(slurp(kept));
    EXPECT_EQ(saved["k"], "ours");
    EXPECT_EQ(saved["other"], 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "config"), {}), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "dotfiles" / "vandrel"), {}), 1);

    // A relative link is read from its own folder, wherever the process runs.
    fs::remove(dir / "config" / "stow.json");
    fs::create_symlink("../dotfiles/vandrel/defaults.json", dir / "config" / "stow.json");
    auto again = UserDefaults::openFile(dir / "config" / "defaults.json");
    EXPECT_EQ(again->string("k"), "ours");
    again->setString("k", "third");
    ASSERT_TRUE(again->flush());
    EXPECT_TRUE(fs::is_symlink(dir / "config" / "stow.json"));
    EXPECT_EQ(nlohmann::json::parse(slurp(kept))["k"], "third");
}

TEST(UserDefaults, UnsupportedValueTypesAreDroppedWithoutChangingOthers) {
    TempDir dir;
    auto file = dir / "defaults.json";
    std::ofstream(file) << R"({"obj": {"a": 1}, "mixed": ["a", 1], "nul": null, "ok": ["de"], "n": 1.5})";
    auto d = UserDefaults::openFile(file);
    EXPECT_FALSE(d->contains("obj"));
    EXPECT_FALSE(d->contains("mixed"));
    EXPECT_FALSE(d->contains("nul"));
    EXPECT_EQ(d->stringList("ok"), StringList{"de"});
    EXPECT_EQ(d->storedValue("n"), DefaultsValue(1.5));
}

TEST(UserDefaults, NonFiniteDoublesAreNotWrittenAsInvalidJson) {
    TempDir dir;
    auto file = dir / "defaults.json";
    auto d = UserDefaults::openFile(file);
    d->setDouble("nan", std::nan(""));
    d->setString("s", "kept");
    auto j = nlohmann::json::parse(slurp(file));  // must still be valid JSON
    EXPECT_FALSE(j.contains("nan"));
    EXPECT_EQ(j["s"], "kept");
}

// Device names and ids are stored as the sound server reports them, which need not be UTF-8.
TEST(UserDefaults, TextThatIsNotUtf8IsStoredWithReplacementCharacters) {
    TempDir dir;
    auto file = dir / "defaults.json";
    const std::string fffd = "\xEF\xBF\xBD";
    {
        auto d = UserDefaults::openFile(file);
        d->setString("name", "Mic \xFF\xFE \xC3\xA9 \xE2\x82 \xED\xA0\x80 \xF0\x9F\x8E\xA4");
        d->setStringList("uids", {"ok", "cut \xE2\x82"});
        d->setString("k\xC0\xAF", "v");
        EXPECT_EQ(d->string("name"),
                  "Mic " + fffd + fffd + " \xC3\xA9 " + fffd + " " + fffd + fffd + fffd + " \xF0\x9F\x8E\xA4");
    }
    auto reopened = UserDefaults::openFile(file);
    EXPECT_EQ(reopened->string("name"),
              "Mic " + fffd + fffd + " \xC3\xA9 " + fffd + " " + fffd + fffd + fffd + " \xF0\x9F\x8E\xA4");
    EXPECT_EQ(reopened->stringList("uids"), (StringList{"ok", "cut " + fffd}));
    EXPECT_EQ(reopened->string("k" + fffd + fffd), "v");
}

TEST(UserDefaults, TemporaryFilesOfAKilledWriterAreRemovedAtOpen) {
    TempDir dir;
    auto file = dir / "defaults.json";
    const auto stale = dir / "defaults.json.tmp-1-42";
    const auto ours = dir / ("defaults.json.tmp-" + std::to_string(getpid()) + "-7");
    const auto unrelated = dir / "other.json.tmp-1-42";
    for (const auto& p : {stale, ours, unrelated}) std::ofstream(p) << "{\"partial\": ";
    std::ofstream(file) << R"({"k": "v"})";
    auto d = UserDefaults::openFile(file);
    EXPECT_EQ(d->string("k"), "v");
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(ours));  // this process may be writing it right now
    EXPECT_TRUE(std::filesystem::exists(unrelated));
}

// A writer killed at any moment leaves the old file or the new one, never a torn one.
TEST(UserDefaults, AProcessKilledWhileWritingLeavesAWholeFile) {
    TempDir dir;
    auto file = dir / "defaults.json";
    std::string big(200000, 'x');
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto d = UserDefaults::openFile(file);
            for (int i = 0;; ++i) {
                d->setString("payload", big + std::to_string(i));
                d->setInteger("counter", i);
            }
        }
        usleep(2000 + round * 1500);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!std::filesystem::exists(file)) continue;  // killed before the first rename
        auto j = nlohmann::json::parse(slurp(file), nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << "torn file in round " << round;
        ASSERT_TRUE(j.is_object());
        EXPECT_EQ(j["payload"].get<std::string>().substr(0, big.size()), big);
    }
}

TEST(UserDefaults, KeyConstantsReadTheirDefaultUntilAValueOfTheirTypeIsStored) {
    const DefaultsKey<bool> sounds{"playSounds", true};
    const DefaultsKey<std::int64_t> count{"count", 7};
    const DefaultsKey<double> delay{"delay", 2.0};
    const DefaultsKey<std::string> mode{"performanceMode", "standard"};
    const DefaultsKey<StringList> langs{"preferredLanguages", {"en"}};
    auto d = UserDefaults::inMemory();
    EXPECT_TRUE(d->get(sounds));
    EXPECT_EQ(d->get(count), 7);
    EXPECT_EQ(d->get(mode), "standard");
    EXPECT_EQ(d->get(langs), StringList{"en"});
    EXPECT_FALSE(d->stored(mode).has_value());

    d->set(sounds, false);
    d->set(count, std::int64_t{3});
    d->setString("delay", "0.5");         // numeric strings read as numbers, as the plain readers do
    d->setInteger("performanceMode", 4);  // a value of another type reads as the default
    d->set(langs, StringList{"de", "it"});
    EXPECT_FALSE(d->get(sounds));
    EXPECT_EQ(d->get(count), 3);
    EXPECT_DOUBLE_EQ(d->get(delay), 0.5);
    EXPECT_EQ(d->get(mode), "standard");
    EXPECT_EQ(d->get(langs), (StringList{"de", "it"}));

    // A registered default is what value() and the stored-only reader tell apart.
    const DefaultsKey<bool> escape{"cancelWithEscape", true};
    d->registerDefault(escape);
    EXPECT_TRUE(d->boolValue("cancelWithEscape"));
    EXPECT_FALSE(d->stored(escape).has_value());
    d->set(escape, false);
    EXPECT_EQ(d->stored(escape), false);
    d->remove(escape);
    EXPECT_TRUE(d->get(escape));
}
