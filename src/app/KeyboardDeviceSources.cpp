#include "app/KeyboardDeviceSources.h"

#include <string>

#include "base/Log.h"
#include "platform/evdev/EvdevEscapeKeyTap.h"
#include "platform/evdev/EvdevHotKeyBackend.h"
#include "platform/evdev/EvdevModifierKeyBackend.h"
#include "platform/evdev/KeyboardDevices.h"

namespace vandrel {

KeyboardDeviceSources KeyboardDeviceSources::probe() {
    KeyboardDeviceSources sources;
    sources.m_devices = std::make_shared<evdev::KeyboardDevices>();
    const auto survey = sources.m_devices->survey();
    sources.m_readable = survey.readableKeyboards > 0;
    const std::string where = sources.m_devices->directory().string();
    if (sources.m_readable)
        log("Platform", "keyboard devices: " + std::to_string(survey.readableKeyboards) + " readable in " + where);
    else if (survey.deniedDevices > 0)
        log("Platform", "keyboard devices: none readable in " + where + ", " + std::to_string(survey.deniedDevices) +
                            " refused (membership of the input group would allow them)");
    else
        log("Platform", "keyboard devices: none in " + where);
    return sources;
}

std::unique_ptr<ModifierKeyBackend> KeyboardDeviceSources::modifierKeys() const {
    return std::make_unique<evdev::EvdevModifierKeyBackend>(m_devices);
}

std::unique_ptr<EscapeKeyTap> KeyboardDeviceSources::escapeTap() const {
    return std::make_unique<evdev::EvdevEscapeKeyTap>(m_devices);
}

std::shared_ptr<KeyboardShortcuts::HotKeyBackend> KeyboardDeviceSources::hotKeys() const {
    return std::make_shared<evdev::EvdevHotKeyBackend>(m_devices);
}

}  // namespace vandrel
