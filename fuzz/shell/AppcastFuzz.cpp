#include <cstdint>
#include <string_view>

#include "shell/Appcast.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto items = vandrel::parseAppcast(text)) vandrel::newestUpdate(*items, "5");
    vandrel::htmlToPlainText(text);
    vandrel::compareVersions(text.substr(0, size / 2), text.substr(size / 2));
    return 0;
}
