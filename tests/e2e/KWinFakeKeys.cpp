// Key presses for a KWin session under test, through KWin's fake-input protocol, as a user's keyboard would
// make them: the compositor routes them to its global shortcuts and to the focused window alike.
// Standard input, one command a line: "KEYCODE 1" presses and "KEYCODE 0" releases a key (evdev codes);
// each answers "ok" once the compositor has taken it. Prints "ready" first, or why it cannot.
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "fake-input-client-protocol.h"

namespace {

struct Globals {
    org_kde_kwin_fake_input* fakeInput = nullptr;
};

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    // Key events came with version 4.
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener{global, globalRemove};

struct DisplayCloser {
    void operator()(wl_display* display) const { wl_display_disconnect(display); }
};

}  // namespace

int main() {
    std::unique_ptr<wl_display, DisplayCloser> display(wl_display_connect(nullptr));
    if (!display) {
        std::cout << "no compositor" << std::endl;
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display.get());
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display.get());
    if (!globals.fakeInput) {
        // KWin leaves the interface out for programs that its menu entries do not admit.
        std::cout << "no fake input" << std::endl;
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(globals.fakeInput, "Vandrel tests", "synthetic key presses");
    if (wl_display_roundtrip(display.get()) < 0) {
        std::cout << "the compositor closed the connection" << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::uint32_t key = 0, state = 0;
        if (!(words >> key >> state) || state > 1) {
            std::cout << "bad command" << std::endl;
            continue;
        }
        org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, key, state);
        if (wl_display_roundtrip(display.get()) < 0) {
            std::cout << "the compositor closed the connection" << std::endl;
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    org_kde_kwin_fake_input_destroy(globals.fakeInput);
    wl_registry_destroy(registry);
    return 0;
}
