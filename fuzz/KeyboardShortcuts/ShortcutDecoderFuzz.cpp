// Stored shortcuts come from a settings file any program can write.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "KeyboardShortcuts/KeyboardShortcuts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto shortcut = vandrel::KeyboardShortcuts::decodeShortcut(text);
    // Whatever decodes must survive our own encoding unchanged.
    if (shortcut &&
        vandrel::KeyboardShortcuts::decodeShortcut(vandrel::KeyboardShortcuts::encodeShortcut(*shortcut)) != shortcut)
        std::abort();
    return 0;
}
