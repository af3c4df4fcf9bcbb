#include "dictation/PasteKeystroke.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vandrel {

namespace {

// Every terminal emulator we know of, by the WM_CLASS instance or class name its windows carry.
struct Terminal {
    std::string_view name;
    PasteKeystroke keystroke;
};
constexpr std::array terminals{
    // Shift+Insert pastes PRIMARY; Ctrl+Shift+V does nothing by default.
    Terminal{"xterm", PasteKeystroke::shiftInsert},
    Terminal{"uxterm", PasteKeystroke::shiftInsert},
    Terminal{"kterm", PasteKeystroke::shiftInsert},
    Terminal{"urxvt", PasteKeystroke::shiftInsert},
    Terminal{"rxvt", PasteKeystroke::shiftInsert},
    Terminal{"rxvt-unicode", PasteKeystroke::shiftInsert},
    Terminal{"mrxvt", PasteKeystroke::shiftInsert},
    Terminal{"aterm", PasteKeystroke::shiftInsert},
    Terminal{"eterm", PasteKeystroke::shiftInsert},
    // Ctrl+Shift+V pastes the clipboard.
    Terminal{"gnome-terminal", PasteKeystroke::controlShiftV},
    Terminal{"gnome-terminal-server", PasteKeystroke::controlShiftV},
    Terminal{"org.gnome.console", PasteKeystroke::controlShiftV},
    Terminal{"kgx", PasteKeystroke::controlShiftV},
    Terminal{"org.gnome.ptyxis", PasteKeystroke::controlShiftV},
    Terminal{"konsole", PasteKeystroke::controlShiftV},
    Terminal{"org.kde.konsole", PasteKeystroke::controlShiftV},  // as KWin names it on Wayland
    Terminal{"yakuake", PasteKeystroke::controlShiftV},
    Terminal{"org.kde.yakuake", PasteKeystroke::controlShiftV},
    Terminal{"xfce4-terminal", PasteKeystroke::controlShiftV},
    Terminal{"mate-terminal", PasteKeystroke::controlShiftV},
    Terminal{"lxterminal", PasteKeystroke::controlShiftV},
    Terminal{"qterminal", PasteKeystroke::controlShiftV},
    Terminal{"deepin-terminal", PasteKeystroke::controlShiftV},
    Terminal{"terminator", PasteKeystroke::controlShiftV},
    Terminal{"tilix", PasteKeystroke::controlShiftV},
    Terminal{"terminix", PasteKeystroke::controlShiftV},
    Terminal{"guake", PasteKeystroke::controlShiftV},
    Terminal{"tilda", PasteKeystroke::controlShiftV},
    Terminal{"sakura", PasteKeystroke::controlShiftV},
    Terminal{"roxterm", PasteKeystroke::controlShiftV},
    Terminal{"terminology", PasteKeystroke::controlShiftV},
    Terminal{"cool-retro-term", PasteKeystroke::controlShiftV},
    Terminal{"alacritty", PasteKeystroke::controlShiftV},
    Terminal{"kitty", PasteKeystroke::controlShiftV},
    Terminal{"foot", PasteKeystroke::controlShiftV},
    Terminal{"st", PasteKeystroke::controlShiftV},
    Terminal{"st-256color", PasteKeystroke::controlShiftV},
    Terminal{"termite", PasteKeystroke::controlShiftV},
    Terminal{"org.wezfurlong.wezterm", PasteKeystroke::controlShiftV},
    Terminal{"com.mitchellh.ghostty", PasteKeystroke::controlShiftV},
    Terminal{"hyper", PasteKeystroke::controlShiftV},
    Terminal{"tabby", PasteKeystroke::controlShiftV},
};

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

PasteKeystroke pasteKeystrokeForWindowClass(std::string_view instanceName, std::string_view className) {
    for (const Terminal& t : terminals)
        if (sameName(t.name, instanceName) || sameName(t.name, className)) return t.keystroke;
    return PasteKeystroke::controlV;
}

}  // namespace vandrel
