# `cmake --install` lays out a runnable application under the prefix:
#   bin/vandrel                         finds the rest relative to itself
#   lib/libvandrel-app.so               the application, loaded by bin/vandrel for a start that is no command
#   lib/libwhisper.so*, lib/libggml*    loaded with dlopen from $ORIGIN/../lib
#   share/vandrel/                      resources: string tables, sounds, icons, lexicons
#   share/applications/com.harstow.Vandrel.desktop  the menu entry, named by the application id the
#                                       desktop portal knows Vandrel by
#   share/icons/hicolor/...             the application icon
include(GNUInstallDirs)

if(TARGET vandrel)
    set_target_properties(vandrel PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib")
    install(TARGETS vandrel RUNTIME DESTINATION bin)
endif()
if(TARGET vandrel_application)
    install(TARGETS vandrel_application LIBRARY DESTINATION lib)
endif()

# whisper.cpp and its ggml libraries, symlinks kept as they are.
install(DIRECTORY "${VANDREL_WHISPER_ROOT}/lib/" DESTINATION lib
    USE_SOURCE_PERMISSIONS
    FILES_MATCHING PATTERN "lib*.so*"
    PATTERN "cmake" EXCLUDE
    PATTERN "pkgconfig" EXCLUDE)

install(DIRECTORY "${VANDREL_RESOURCES_OUT}/" DESTINATION share/vandrel)

install(FILES "${CMAKE_SOURCE_DIR}/resources/appicon/vandrel.svg"
    DESTINATION share/icons/hicolor/scalable/apps)
foreach(size ${VANDREL_ICON_SIZES})
    install(FILES "${CMAKE_BINARY_DIR}/appicon/vandrel-${size}.png"
        DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vandrel.png)
endforeach()

# The entry's Exec is the installed binary's absolute path, known only at install time (--prefix), and
# quoted when the prefix needs it (a space, say).
install(CODE "
    include(\"${CMAKE_SOURCE_DIR}/cmake/VandrelDesktopExec.cmake\")
    vandrel_desktop_exec(VANDREL_EXEC \"\${CMAKE_INSTALL_PREFIX}/bin/vandrel\")
    configure_file(\"${CMAKE_SOURCE_DIR}/resources/vandrel.desktop.in\"
        \"${CMAKE_BINARY_DIR}/install/com.harstow.Vandrel.desktop\" @ONLY)
    file(INSTALL \"${CMAKE_BINARY_DIR}/install/com.harstow.Vandrel.desktop\"
        DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\")
")
