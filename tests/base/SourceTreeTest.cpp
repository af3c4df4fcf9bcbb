// Rules of the source tree that the compiler does not enforce: which module may include which, and
// Q_OBJECT on every QObject subclass (without it qobject_cast and findChild<T> silently miss our classes).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kRoot = fs::path(VANDREL_SOURCE_DIR);
const fs::path kSrc = kRoot / "src";

// What each module may include besides itself. Dependencies point one way: base <- correction <- speech
// (transcription applies the lexicon), KeyboardShortcuts <- ui <- dictation <- shell <- settings,
// onboarding <- app. A platform folder includes the interfaces it implements and nothing above them;
// only app picks implementations and builds the settings and onboarding windows.
const std::map<std::string, std::set<std::string>>& allowedIncludes() {
    static const std::map<std::string, std::set<std::string>> table = [] {
        std::map<std::string, std::set<std::string>> t;
        t["base"] = {};
        t["correction"] = {"base"};
        t["speech"] = {"base", "correction"};
        t["KeyboardShortcuts"] = {"base"};
        t["ui"] = {"base", "correction", "speech", "KeyboardShortcuts"};
        t["dictation"] = t["ui"];
        t["dictation"].insert("ui");
        t["shell"] = t["dictation"];
        t["shell"].insert("dictation");
        t["settings"] = t["shell"];
        t["settings"].insert("shell");
        t["onboarding"] = t["settings"];

        t["platform/x11"] = {"base", "KeyboardShortcuts", "dictation"};
        t["platform/evdev"] = {"base", "KeyboardShortcuts", "dictation"};
        t["platform/pulse"] = {"base", "speech"};
        t["platform/qt"] = {"base", "dictation", "platform/x11"};  // the clipboard is read over X11
        t["platform/canberra"] = {"base", "dictation"};
        t["platform/wayland"] = {"base", "dictation"};
        t["platform/dbus"] = {};  // the one way to ask a D-Bus peer, for every platform piece that does
        t["platform/logind"] = {"base", "platform/dbus"};
        t["platform/xdg"] = {"base", "settings"};  // launch at login is the settings' interface
        t["platform/portal"] = {"base", "KeyboardShortcuts", "dictation", "platform/dbus"};
        t["platform/atspi"] = {"base", "dictation", "platform/dbus"};
        t["platform/kwin"] = {"base", "dictation", "platform/dbus"};

        for (const auto& [module, deps] : std::map(t)) t["app"].insert(module);
        return t;
    }();
    return table;
}

// "src/platform/x11/A.h" -> "platform/x11", "src/dictation/B.cpp" -> "dictation".
std::string moduleOf(const fs::path& relative) {
    auto it = relative.begin();
    std::string first = it->string();
    if (first == "platform" && ++it != relative.end() && std::next(it) != relative.end())
        return "platform/" + it->string();
    return first;
}

std::string moduleOfInclude(const std::string& include) {
    const auto slash = include.find('/');
    if (slash == std::string::npos) return {};
    const std::string first = include.substr(0, slash);
    if (first != "platform") return first;
    const auto second = include.find('/', slash + 1);
    return second == std::string::npos ? first : include.substr(0, second);
}

std::vector<fs::path> sourceFiles(const fs::path& root = kSrc) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const auto ext = e.path().extension();
        if (e.is_regular_file() && (ext == ".h" || ext == ".cpp" || ext == ".in")) files.push_back(e.path());
    }
    return files;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Comments out, so that a class or include mentioned in prose is not taken for code.
std::string withoutComments(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            if (i == std::string::npos) break;
        } else if (text.compare(i, 2, "/*") == 0) {
            auto end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

struct ClassInfo {
    std::string file;
    std::vector<std::string> bases;
    bool hasQObjectMacro = false;
};

// Qt bases that are not QObjects.
bool isNonQObjectQtClass(const std::string& name) {
    static const std::set<std::string> plain = {"QAbstractNativeEventFilter",
                                                "QRunnable",
                                                "QPaintDevice",
                                                "QPaintEngine",
                                                "QLayoutItem",
                                                "QSpacerItem",
                                                "QWidgetItem",
                                                "QSharedData",
                                                "QGraphicsItem",
                                                "QGraphicsLayoutItem",
                                                "QIconEngine",
                                                "QTextObjectInterface",
                                                "QException",
                                                "QImageIOHandler"};
    return plain.count(name) || name.rfind("QAccessible", 0) == 0 || name.rfind("QStyleOption", 0) == 0 ||
           (name.size() > 5 && name.compare(name.size() - 5, 5, "Event") == 0);
}

std::string lastName(std::string base) {
    if (auto lt = base.find('<'); lt != std::string::npos) base.erase(lt);
    std::istringstream words(base);
    std::string word, last;
    while (words >> word)
        if (word != "public" && word != "protected" && word != "private" && word != "virtual") last = word;
    if (auto colons = last.rfind("::"); colons != std::string::npos) last.erase(0, colons + 2);
    return last;
}

std::map<std::string, ClassInfo> classesIn(const std::vector<fs::path>& files) {
    // (":(?!:)": "struct Outer::Inner {" names no base.)
    static const std::regex head(R"(\b(class|struct)\s+([A-Za-z_]\w*)\s*(final\s*)?:(?!:)\s*([^;{}()]*)\{)");
    std::map<std::string, ClassInfo> classes;
    for (const auto& file : files) {
        const std::string text = withoutComments(readAll(file));
        for (std::sregex_iterator it(text.begin(), text.end(), head), end; it != end; ++it) {
            const auto& m = *it;
            // "enum class Tone : int {" is no class.
            const auto before = text.find_last_not_of(" \t\n", static_cast<std::size_t>(m.position(0)) - 1);
            if (m.position(0) > 0 && before != std::string::npos && before >= 3 &&
                text.compare(before - 3, 4, "enum") == 0)
                continue;
            ClassInfo info;
            info.file = fs::relative(file, kRoot).string();
            std::stringstream bases(m[4].str());
            for (std::string base; std::getline(bases, base, ',');) info.bases.push_back(lastName(base));
            // Q_OBJECT among the class's own members, not those of a nested class.
            int depth = 0;
            for (std::size_t i = static_cast<std::size_t>(m.position(0) + m.length(0)) - 1; i < text.size(); ++i) {
                if (text[i] == '{') ++depth;
                if (text[i] == '}' && --depth == 0) break;
                if (depth == 1 && text.compare(i, 8, "Q_OBJECT") == 0) info.hasQObjectMacro = true;
            }
            // Local classes of one name in two files: each has to carry the macro.
            auto [slot, fresh] = classes.try_emplace(m[2].str(), info);
            if (!fresh) {
                slot->second.bases.insert(slot->second.bases.end(), info.bases.begin(), info.bases.end());
                if (!info.hasQObjectMacro) {
                    slot->second.hasQObjectMacro = false;
                    slot->second.file = info.file;
                }
            }
        }
    }
    return classes;
}

// Where `text` (a source file without its comments) waits for a D-Bus peer, or asks one past the one helper:
// QDBusInterface introspects its peer as it is built, QDBusReply and a connection's call() wait for the
// answer, connectToBus waits for the bus's Hello, the bus's interface() asks the daemon synchronously.
std::vector<std::string> blockingBusUses(const std::string& text, bool helper) {
    static const std::regex anywhere(
        R"(\b(QDBusInterface|QDBusReply|QDBusConnectionInterface|connectToBus|registeredServiceNames|isServiceRegistered|waitForFinished|QDBus::Block\w*)\b|(\bbus\(\)|\bsessionBus\(\)|\bsystemBus\(\))\s*\.\s*(call|interface)\s*\()");
    static const std::regex outsideTheHelper(
        R"(\b(asyncCall|callWithCallback|QDBusPendingCallWatcher|QDBusPendingReply)\b)");
    static const std::regex connectionName(R"(\bQDBusConnection\s*>?\s*&?\s*(\w+)\s*[;=,)({])");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), anywhere), end; it != end; ++it) found.push_back(it->str());
    if (!helper)
        for (std::sregex_iterator it(text.begin(), text.end(), outsideTheHelper), end; it != end; ++it)
            found.push_back(it->str());
    // call() on a connection this file holds (m_bus.call(...), bus->call(...)).
    std::set<std::string> connections;
    for (std::sregex_iterator it(text.begin(), text.end(), connectionName), end; it != end; ++it)
        connections.insert((*it)[1].str());
    for (const auto& name : connections) {
        const std::regex call("\\b" + name + R"(\s*(\.|->)\s*(call|interface)\s*\()");
        for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) found.push_back(it->str());
    }
    return found;
}

}  // namespace

TEST(SourceTreeTest, NothingWaitsForADBusPeer) {
    // The scan finds what it is about.
    EXPECT_EQ(blockingBusUses("QDBusConnection m_bus;\nauto r = m_bus.call(message);", false).size(), 1u);
    EXPECT_EQ(blockingBusUses("QDBusInterface manager(kService, kPath, kInterface, bus);", false).size(), 1u);
    EXPECT_EQ(blockingBusUses("QDBusConnection::sessionBus().interface()->registeredServiceNames()", false).size(), 2u);
    EXPECT_EQ(blockingBusUses("new QDBusPendingCallWatcher(bus.asyncCall(m, 500), this);", false).size(), 2u);
    EXPECT_TRUE(blockingBusUses("new QDBusPendingCallWatcher(bus.asyncCall(m, 500), this);", true).empty());
    EXPECT_TRUE(
        blockingBusUses("QDBusConnection m_bus;\nm_client.call(interface, method, {}, done, 500);", false).empty());
    int files = 0;
    for (const auto& file : sourceFiles()) {
        const auto relative = fs::relative(file, kSrc);
        const bool helper = moduleOf(relative) == "platform/dbus";
        const std::string text = withoutComments(readAll(file));
        files += text.find("QDBus") != std::string::npos;
        for (const auto& use : blockingBusUses(text, helper))
            ADD_FAILURE() << relative.string() << ": " << use << " (ask through platform/dbus/BusCall instead)";
    }
    EXPECT_GT(files, 5) << "no D-Bus code found under " << kSrc;
}

TEST(SourceTreeTest, IncludesFollowTheModuleTable) {
    static const std::regex include(R"(^\s*#\s*include\s*["<]([^">]+)[">])");
    const auto& table = allowedIncludes();
    std::vector<std::string> violations;
    int crossModule = 0;
    for (const auto& file : sourceFiles()) {
        const auto relative = fs::relative(file, kSrc);
        const std::string module = moduleOf(relative);
        auto allowed = table.find(module);
        if (allowed == table.end()) {
            violations.push_back(relative.string() + ": module \"" + module + "\" has no row in the table");
            continue;
        }
        std::ifstream in(file);
        std::smatch m;
        for (std::string line; std::getline(in, line);) {
            if (!std::regex_search(line, m, include)) continue;
            const std::string target = moduleOfInclude(m[1].str());
            if (target.empty() || target == module || (!table.count(target) && target != "platform")) continue;
            ++crossModule;
            if (!allowed->second.count(target))
                violations.push_back(relative.string() + " includes " + m[1].str() + ": " + module +
                                     " may not depend on " + target);
        }
    }
    EXPECT_GT(crossModule, 0) << "no include across modules found under " << kSrc;
    for (const auto& v : violations) ADD_FAILURE() << v;
}

TEST(SourceTreeTest, EveryQObjectSubclassCarriesTheQObjectMacro) {
    // The tests' and benchmarks' own widgets and filters too: findChild<T> misses them just the same.
    std::vector<fs::path> files = sourceFiles();
    for (const char* folder : {"tests", "bench"})
        for (auto& file : sourceFiles(kRoot / folder)) files.push_back(std::move(file));
    const auto classes = classesIn(files);
    std::set<std::string> qobjects;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [name, info] : classes) {
            if (qobjects.count(name)) continue;
            for (const auto& base : info.bases) {
                const bool qtObject = base.size() > 1 && base[0] == 'Q' && std::isupper(base[1]) != 0 &&
                                      !isNonQObjectQtClass(base) && !classes.count(base);
                if (qtObject || qobjects.count(base)) {
                    qobjects.insert(name);
                    grew = true;
                    break;
                }
            }
        }
    }
    // The scan has to see the classes it is about: widgets in headers, local classes in .cpp files.
    EXPECT_TRUE(qobjects.count("AppDelegate"));
    EXPECT_TRUE(qobjects.count("RecordingOverlayView"));
    EXPECT_TRUE(qobjects.count("NonActivatingPanel"));
    EXPECT_FALSE(qobjects.count("OverlayAccessible"));  // a QAccessibleWidget is no QObject
    EXPECT_TRUE(qobjects.count("ClickCounter"));        // a test's own widget
    for (const auto& name : qobjects) {
        const auto& info = classes.at(name);
        EXPECT_TRUE(info.hasQObjectMacro) << name << " (" << info.file << ") derives from QObject without Q_OBJECT";
    }
}
