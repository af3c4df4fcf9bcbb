#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

// The desktop entry by which the desktop portal knows Vandrel: applications/com.harstow.Vandrel.desktop in
// the XDG data folders. xdg-desktop-portal 1.20 takes the registration of an unsandboxed application only
// for an id whose entry it finds there, and GNOME 48 binds global shortcuts for no other. An installed
// Vandrel has one (the install's, or a package's); a build that is run where it was built writes its own into
// the user's folder, marked as Vandrel's, naming the binary that runs, and mends it when the build folder
// moved. An entry Vandrel did not write is never touched.
class XdgApplicationEntry {
public:
    enum class Outcome {
        found,    // an entry is there: an installed one, the user's own, or ours naming this binary
        written,  // none was anywhere: ours is written now
        updated,  // ours named another binary; it names this one now
        failed,   // none is there and none could be written (the log says why)
    };

    // `userFolder`: $XDG_DATA_HOME/applications; `systemFolders`: the applications folders of the system's
    // data folders, in their order; `executable`: the absolute path the entry starts.
    XdgApplicationEntry(std::filesystem::path userFolder, std::vector<std::filesystem::path> systemFolders,
                        std::filesystem::path executable);
    // The folders of this session, and the running binary.
    static XdgApplicationEntry forRunningBinary();

    // Makes sure the portal finds an entry for the application's id, before the application registers. Our
    // own entry goes when an installed one appeared, which it would hide from the menus.
    Outcome ensure() const;

    // Our entry for `executable`; none when the path cannot be an Exec key.
    static std::optional<std::string> entryText(const std::filesystem::path& executable);
    // The key that marks an entry as ours.
    static constexpr const char* generatedKey = "X-Vandrel-Generated";

private:
    std::filesystem::path m_userFolder;
    std::vector<std::filesystem::path> m_systemFolders;
    std::filesystem::path m_executable;
};

}  // namespace vandrel
