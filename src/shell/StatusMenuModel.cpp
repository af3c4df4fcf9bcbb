#include "shell/StatusMenuModel.h"

#include <algorithm>
#include <cmath>

#include "base/LocalizationManager.h"
#include "ui/Symbols.h"

namespace vandrel {

namespace {
StatusMenuItem actionItem(std::string title, StatusMenuAction action) {
    StatusMenuItem item;
    item.title = std::move(title);
    item.action = action;
    item.enabled = true;
    return item;
}

StatusMenuItem disabledItem(std::string title) {
    StatusMenuItem item;
    item.title = std::move(title);
    return item;
}
}  // namespace

StatusMenuItem buildMicrophoneMenuItem(const StatusMenuInput& in) {
    const std::string name =
        (!in.preferredUID.empty() && in.currentDeviceName) ? *in.currentDeviceName : localized("System Default");
    StatusMenuItem parent;
    parent.title = localizedFormat("Microphone: %@", {name});
    parent.enabled = true;  // it opens its submenu

    auto follow = actionItem(localized("Follow System Default"), StatusMenuAction::selectFollowSystemDefault);
    follow.checked = in.preferredUID.empty();
    parent.submenu.push_back(follow);
    if (!in.inputDevices.empty()) parent.submenu.push_back(StatusMenuItem::separatorItem());
    bool pinnedListed = false;
    for (const auto& d : in.inputDevices) {
        auto item = actionItem(d.name, StatusMenuAction::selectMicrophoneDevice);
        item.checked = d.uid == in.preferredUID;
        item.representedObject = d.uid;
        pinnedListed = pinnedListed || item.checked;
        parent.submenu.push_back(std::move(item));
    }
    if (!in.preferredUID.empty() && !pinnedListed) {
        auto missing =
            disabledItem(in.storedPinnedName.value_or(localized("Pinned device")) + " " + localized("(not connected)"));
        missing.checked = true;
        parent.submenu.push_back(std::move(missing));
    }
    return parent;
}

std::vector<StatusMenuItem> buildStatusMenu(const StatusMenuInput& in) {
    std::vector<StatusMenuItem> menu;
    const bool recording = in.recordingState == StatusMenuInput::Recording::recording;
    if (recording) {
        menu.push_back(actionItem(localized("Stop Recording"), StatusMenuAction::stopRecording));
        menu.push_back(actionItem(localized("Cancel Recording"), StatusMenuAction::cancelRecording));
    } else if (in.isModelLoading) {
        std::string title = localized("Loading model...");
        const double p = in.modelDownloadProgress;
        if (p > 0 && p < 1) title += " " + std::to_string(static_cast<int>(std::floor(p * 100))) + "%";
        menu.push_back(disabledItem(std::move(title)));
    } else if (in.isModelLoaded) {
        menu.push_back(actionItem(localized("Start Recording"), StatusMenuAction::startRecording));
    } else {
        menu.push_back(actionItem(localized("Retry loading model"), StatusMenuAction::retryModel));
    }
    if (!recording) {
        menu.push_back(StatusMenuItem::separatorItem());
        menu.push_back(buildMicrophoneMenuItem(in));
    }
    if (!in.hotkeyConfigured) {
        menu.push_back(StatusMenuItem::separatorItem());
        menu.push_back(disabledItem(localized("Set a hotkey in Settings")));
    }
    if (in.errorMsg) {
        menu.push_back(StatusMenuItem::separatorItem());
        menu.push_back(disabledItem(*in.errorMsg));
    }
    if (!in.lastTranscription.empty()) {
        menu.push_back(StatusMenuItem::separatorItem());
        menu.push_back(actionItem(localized("Copy Last Transcription"), StatusMenuAction::copyTranscription));
    }
    menu.push_back(StatusMenuItem::separatorItem());
    menu.push_back(actionItem(localized("Check for Updates…"), StatusMenuAction::checkForUpdates));
    // No key equivalents: while a tray menu is open no application menu is active on Linux, so
    // "Ctrl+," and "Ctrl+Q" would be hints for keys that do nothing.
    menu.push_back(actionItem(localized("Settings..."), StatusMenuAction::openSettings));
    menu.push_back(actionItem(localized("Quit Vandrel"), StatusMenuAction::quitApp));
    return menu;
}

StatusIcon statusIconFor(const StatusMenuInput& in) {
    switch (in.recordingState) {
        case StatusMenuInput::Recording::recording:
            return {std::string(symbolName("mic.circle.fill")), localized("Vandrel — Recording")};
        case StatusMenuInput::Recording::transcribing:
            return {std::string(symbolName("ellipsis.circle")), localized("Vandrel — Transcribing")};
        case StatusMenuInput::Recording::idle:
            break;
    }
    if (in.isModelLoaded) return {std::string(symbolName("mic")), localized("Vandrel — Ready")};
    return {std::string(symbolName("mic.slash")), localized("Vandrel — Loading model")};
}

}  // namespace vandrel
