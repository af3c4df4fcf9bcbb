#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vandrel {

// What the status menu is built from: the controller's mirror of the dictation state and the
// microphone data, read at the moment the menu opens.
struct StatusMenuInput {
    enum class Recording { idle, recording, transcribing };
    Recording recordingState = Recording::idle;
    bool isModelLoaded = false;
    bool isModelLoading = false;
    std::optional<std::string> errorMsg;
    std::string lastTranscription;
    bool hotkeyConfigured = false;
    double modelDownloadProgress = 0;

    struct Device {
        std::string uid, name;
    };
    std::vector<Device> inputDevices;
    std::string preferredUID;
    std::optional<std::string> currentDeviceName;  // the device recordings use, if any
    std::optional<std::string> storedPinnedName;   // "preferredInputDeviceName"
};

enum class StatusMenuAction {
    none,
    startRecording,
    stopRecording,
    cancelRecording,
    retryModel,
    copyTranscription,
    checkForUpdates,
    openSettings,
    quitApp,
    selectMicrophoneDevice,
    selectFollowSystemDefault,
};

// One menu entry; texts are already localised and shown literally (never as mnemonics or markup).
struct StatusMenuItem {
    bool separator = false;
    std::string title;
    StatusMenuAction action = StatusMenuAction::none;
    bool enabled = false;
    bool checked = false;
    std::string representedObject;  // the device uid of a microphone entry
    std::vector<StatusMenuItem> submenu;

    static StatusMenuItem separatorItem() {
        StatusMenuItem item;
        item.separator = true;
        return item;
    }
};

// Builds the menu, in order, from the input; looked up through the current language's strings.
std::vector<StatusMenuItem> buildStatusMenu(const StatusMenuInput& in);
StatusMenuItem buildMicrophoneMenuItem(const StatusMenuInput& in);

// The status icon for a state: the symbol name and the localised tooltip.
struct StatusIcon {
    std::string symbol;
    std::string tooltip;
};
StatusIcon statusIconFor(const StatusMenuInput& in);

}  // namespace vandrel
