#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dictation/KeyInjector.h"

namespace vandrel {

// A keystroke road that cannot tell which application it reaches, told the focused application's name by
// someone who can: the paste keystroke is then the one that application takes (terminals get theirs).
class FocusedApplicationKeyInjector : public KeyInjector {
public:
    // `focusedApplication` gives the name the focused application goes by, empty when unknown.
    FocusedApplicationKeyInjector(std::shared_ptr<KeyInjector> road, std::function<std::string()> focusedApplication);

    bool isTrusted() const override { return m_road->isTrusted(); }
    PasteKeystroke pasteKeystroke() override;
    void sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) override {
        m_road->sendPaste(keystroke, std::move(done));
    }

private:
    std::shared_ptr<KeyInjector> m_road;
    std::function<std::string()> m_focusedApplication;
};

}  // namespace vandrel
