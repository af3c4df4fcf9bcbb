// The `vandrel` program. A command from the desktop's key bindings (`vandrel --start` and the like) is
// the running instance's to carry out: this process only delivers it, and must cost a few milliseconds,
// so it links no Qt, no X11, Wayland or sound server libraries and no whisper. Every other start loads
// the application proper (libvandrel-app.so beside it) into this same process, so that the process is
// the one the user started: its path (for the autostart entry, the resources and libwhisper), its pid and
// its name stay those of `vandrel`.
#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/ApplicationMain.h"
#include "base/LocalizationManager.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "shell/AppCommand.h"
#include "shell/CommandSender.h"

using namespace vandrel;

namespace {

void printLine(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
}

// Exit status 0 once the running instance took the command, else 1 with one line saying why. Nothing of
// the settings is read: the running instance owns that file.
int deliverCommand(AppCommand command) {
    std::string problem;
    const auto path = CommandSender::defaultPath(&problem);
    auto result = CommandSender::Result::failed;
    if (!path.empty()) result = CommandSender::send(path, command, kCommandAnswerMs, &problem);
    if (result == CommandSender::Result::delivered) return 0;
    // In the terminal's language: the application's own choice is in that file too. The tables are read
    // only on this road, which is not the one a key binding waits for.
    const auto bundle =
        Bundle::load(LocalizationManager::defaultLanguageFor(LocalizationManager::systemPreferredLanguages()));
    auto text = [&bundle](const std::string& key) { return bundle ? bundle->localizedString(key) : key; };
    if (result == CommandSender::Result::notRunning)
        printLine(text("Vandrel is not running."));
    else
        printLine(formatPlaceholders(text("Vandrel could not be reached: %@"), {problem}));
    return 1;
}

std::optional<AppCommand> commandFromArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (auto command = appCommandFromArgument(argv[i])) return command;
    return std::nullopt;
}

// The entry's type as the application declares it: a changed signature does not compile here.
using ApplicationMain = decltype(&vandrelApplicationMain);

}  // namespace

int main(int argc, char** argv) {
    if (const auto command = commandFromArguments(argc, argv)) return deliverCommand(*command);

    // Found the way libwhisper is: in the lib folder beside ours, in the build tree as after an install.
    const auto library = (Paths::executableDir() / ".." / "lib" / "libvandrel-app.so").lexically_normal();
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        log("Launcher", "cannot load the application: " + std::string(why ? why : library.string()));
        return 1;
    }
    auto entry = reinterpret_cast<ApplicationMain>(::dlsym(handle, "vandrelApplicationMain"));
    if (!entry) {
        log("Launcher", "cannot load the application: " + library.string() + " has no entry");
        return 1;
    }
    // Never unloaded: the application's own objects live until the process ends.
    return entry(argc, argv);
}
