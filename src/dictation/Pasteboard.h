#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

// One representation of the clipboard's contents: its type (a MIME type on Linux) and its bytes.
struct PasteboardEntry {
    std::string type;
    std::string data;
    bool operator==(const PasteboardEntry&) const = default;
};
using PasteboardSnapshot = std::vector<PasteboardEntry>;

// The general clipboard. Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // Every representation the current owner offers, in the owner's order, each once; types that yield
    // no data are left out. `done` runs on the main thread, possibly before this returns.
    virtual void readContents(std::function<void(PasteboardSnapshot)> done) = 0;
    // The plain-text string on the clipboard; none when it holds no text.
    virtual std::optional<std::string> plainText() = 0;
    // Replaces the whole contents with `text` as plain text.
    virtual void setPlainText(const std::string& text) = 0;
    // Replaces the whole contents with the entries as one item; a later entry of the same type wins.
    virtual void writeContents(const PasteboardSnapshot& entries) = 0;
    // A number that changes whenever anyone changes the contents; none when this clipboard cannot tell.
    virtual std::optional<std::uint64_t> changeCount() { return std::nullopt; }
};

}  // namespace vandrel
