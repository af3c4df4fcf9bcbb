#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/DefaultsKey.h"

namespace vandrel {

// Raw value of the chosen HotkeyOption; a text that names no option is ignored.
inline const DefaultsKey<std::string> kHotkeyOption{"hotkeyOption", "rightOption"};
// "fast", "standard" or "lowMemory": chooses the model tier.
inline const DefaultsKey<std::string> kPerformanceMode{"performanceMode", "standard"};
// The dictation languages, the primary one first.
inline const DefaultsKey<std::vector<std::string>> kPreferredLanguages{"preferredLanguages", {"en"}};
inline const DefaultsKey<bool> kChunkedTranscription{"chunkedTranscription", false};

inline const DefaultsKey<bool> kPlaySounds{"playSounds", true};
inline const DefaultsKey<bool> kRestoreClipboard{"restoreClipboard", true};
// Seconds before the clipboard is restored after a paste; 0 (or anything out of range) means the
// output service's own delay.
inline const DefaultsKey<double> kClipboardRestoreDelay{"clipboardRestoreDelay", 0.0};

// Registered at start-up with this default, so the setting reads true until the user turns it off.
inline const DefaultsKey<bool> kCancelWithEscape{"cancelWithEscape", true};

// Remembered state rather than settings.
inline const DefaultsKey<std::int64_t> kCompletedTranscriptions{"completedTranscriptions", 0};
inline const DefaultsKey<bool> kHasCompletedOnboarding{"hasCompletedOnboarding", false};

}  // namespace vandrel
