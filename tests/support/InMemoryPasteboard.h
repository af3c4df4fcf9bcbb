#pragma once

#include <algorithm>
#include <deque>

#include "base/MainLoop.h"
#include "dictation/Pasteboard.h"

namespace vandrel::test {

// A clipboard in memory. Plain text lives under "text/plain". With `deferReads`, readContents answers
// through the main loop, as a clipboard owned by another process would.
class InMemoryPasteboard : public Pasteboard {
public:
    static constexpr const char* textType = "text/plain";

    void readContents(std::function<void(PasteboardSnapshot)> done) override {
        ++reads;
        auto copy = entries;
        if (deferReads)
            MainLoop::current().post(
                [done = std::move(done), copy = std::move(copy)]() mutable { done(std::move(copy)); });
        else
            done(std::move(copy));
    }
    std::optional<std::string> plainText() override {
        for (const auto& e : entries)
            if (e.type == textType) return e.data;
        return std::nullopt;
    }
    void setPlainText(const std::string& text) override {
        entries = {{textType, text}};
        ++writes;
        ++changes;
    }
    void writeContents(const PasteboardSnapshot& snapshot) override {
        entries.clear();
        for (const auto& e : snapshot) {
            auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& x) { return x.type == e.type; });
            if (it != entries.end())
                it->data = e.data;
            else
                entries.push_back(e);
        }
        ++writes;
        ++changes;
    }
    std::optional<std::uint64_t> changeCount() override { return changes; }

    // What a user copying in another application does.
    void userCopies(PasteboardSnapshot snapshot) {
        entries = std::move(snapshot);
        ++changes;
    }

    PasteboardSnapshot entries;
    bool deferReads = false;
    int reads = 0;
    int writes = 0;
    std::uint64_t changes = 0;
};

}  // namespace vandrel::test
