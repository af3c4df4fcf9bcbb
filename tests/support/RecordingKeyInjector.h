#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dictation/KeyInjector.h"
#include "dictation/Pasteboard.h"

namespace vandrel::test {

// Records paste keystrokes together with the clipboard's text at the moment each was sent. The
// focused window is one that pastes with `focusedWindowKeystroke`.
class RecordingKeyInjector : public KeyInjector {
public:
    explicit RecordingKeyInjector(Pasteboard* pasteboard = nullptr) : m_pasteboard(pasteboard) {}

    bool isTrusted() const override { return trusted; }
    PasteKeystroke pasteKeystroke() override { return focusedWindowKeystroke; }
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool)> done) override {
        pastedTexts.push_back(m_pasteboard ? m_pasteboard->plainText() : std::nullopt);
        keystrokes.push_back(keystroke);
        if (done) done(true);
    }

    bool sendMaskKey(std::string& whyNot) override {
        ++maskKeys;
        if (!maskKeysGoOut) whyNot = "refused by the test";
        return maskKeysGoOut;
    }

    std::size_t pasteCount() const { return pastedTexts.size(); }

    bool trusted = true;
    PasteKeystroke focusedWindowKeystroke = PasteKeystroke::controlV;
    std::vector<std::optional<std::string>> pastedTexts;
    std::vector<PasteKeystroke> keystrokes;
    int maskKeys = 0;
    bool maskKeysGoOut = true;

private:
    Pasteboard* m_pasteboard;
};

}  // namespace vandrel::test
