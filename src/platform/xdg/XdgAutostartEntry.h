#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "settings/LoginItemService.h"

namespace vandrel {

// Launch at login through XDG autostart: a desktop entry in $XDG_CONFIG_HOME/autostart whose Exec line
// starts this binary. Desktops that honour autostart folders (GNOME, KDE, Xfce, LXQt...) start every entry
// of that folder at login.
class XdgAutostartEntry : public LoginItemService {
public:
    // `entryFile`: where the entry lives; `executable`: the absolute path the entry starts. `formerEntryFile`:
    // where earlier versions wrote it, read as the entry until the next write moves it to `entryFile`.
    XdgAutostartEntry(std::filesystem::path entryFile, std::filesystem::path executable,
                      std::filesystem::path formerEntryFile = {});
    // The entry in the user's autostart folder, named by the application id, starting the running binary.
    static XdgAutostartEntry forRunningBinary();

    // $XDG_CONFIG_HOME/autostart/com.harstow.Vandrel.desktop (~/.config when the variable is unset or
    // relative).
    static std::filesystem::path defaultEntryFile();
    // "vandrel.desktop" in the same folder, the name versions before the application id used.
    static std::filesystem::path formerDefaultEntryFile();
    // The whole desktop entry for `executable`; none when the path cannot be written as an Exec line.
    static std::optional<std::string> entryText(const std::filesystem::path& executable);

    // True for an entry that is there and not switched off by the desktop ("Hidden=true" or
    // "X-GNOME-Autostart-enabled=false" in its main group).
    bool isEnabled() const override;
    bool registerItem() override;
    bool unregisterItem() override;

    const std::filesystem::path& entryFile() const { return m_entryFile; }

private:
    std::filesystem::path m_entryFile;
    std::filesystem::path m_executable;
    std::filesystem::path m_formerEntryFile;
};

}  // namespace vandrel
