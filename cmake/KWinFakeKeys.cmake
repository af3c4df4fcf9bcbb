# kwin_fake_keys: key presses for a KWin session under test through KWin's fake-input protocol, whose
# description comes with plasma-wayland-protocols. Used by the KWin end-to-end tests and the command bench;
# without the protocol's description the target is left out.
find_file(VANDREL_FAKE_INPUT_XML fake-input.xml PATHS /usr/share/plasma-wayland-protocols NO_DEFAULT_PATH)
if(VANDREL_FAKE_INPUT_XML AND NOT TARGET kwin_fake_keys)
    pkg_get_variable(VANDREL_WAYLAND_SCANNER wayland-scanner wayland_scanner)
    set(_fake_input_dir "${CMAKE_BINARY_DIR}/kwin_fake_keys_protocols")
    file(MAKE_DIRECTORY "${_fake_input_dir}")
    add_custom_command(OUTPUT "${_fake_input_dir}/fake-input-client-protocol.h" "${_fake_input_dir}/fake-input-protocol.c"
        COMMAND "${VANDREL_WAYLAND_SCANNER}" client-header "${VANDREL_FAKE_INPUT_XML}"
            "${_fake_input_dir}/fake-input-client-protocol.h"
        COMMAND "${VANDREL_WAYLAND_SCANNER}" private-code "${VANDREL_FAKE_INPUT_XML}"
            "${_fake_input_dir}/fake-input-protocol.c"
        DEPENDS "${VANDREL_FAKE_INPUT_XML}" VERBATIM)
    add_executable(kwin_fake_keys "${CMAKE_SOURCE_DIR}/tests/e2e/KWinFakeKeys.cpp"
        "${_fake_input_dir}/fake-input-client-protocol.h" "${_fake_input_dir}/fake-input-protocol.c")
    target_include_directories(kwin_fake_keys PRIVATE "${_fake_input_dir}")
    pkg_check_modules(VANDREL_WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
    target_link_libraries(kwin_fake_keys PRIVATE PkgConfig::VANDREL_WAYLAND_CLIENT vandrel_warnings)
endif()
