# whisper.cpp is built by scripts/build-whisper.sh as shared libraries and loaded at run time with
# dlopen. The build only needs its header (to pass parameter structs by value) and copies the
# libraries next to our binaries: <build>/lib, which is $ORIGIN/../lib of <build>/bin/vandrel.
set(_whisper_header "${VANDREL_WHISPER_ROOT}/include/whisper.h")
if(NOT EXISTS "${_whisper_header}")
    message(FATAL_ERROR "whisper.cpp not found in ${VANDREL_WHISPER_ROOT}: run scripts/build-whisper.sh ${CMAKE_BINARY_DIR}")
endif()
add_library(whisper_headers INTERFACE)
target_include_directories(whisper_headers SYSTEM INTERFACE "${VANDREL_WHISPER_ROOT}/include")

file(GLOB _whisper_libs "${VANDREL_WHISPER_ROOT}/lib/lib*.so*")
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/lib")
# ggml loads every backend module it finds beside libwhisper: drop those of an earlier whisper.cpp build
# (a Vulkan module after a build without Vulkan, a CPU module of another kind). Libraries the current
# build still has stay, so that an unchanged one is not copied again at every configure.
set(_whisper_names "")
foreach(lib ${_whisper_libs})
    get_filename_component(_name "${lib}" NAME)
    list(APPEND _whisper_names "${_name}")
endforeach()
file(GLOB _copied_libs "${CMAKE_BINARY_DIR}/lib/libggml*.so*" "${CMAKE_BINARY_DIR}/lib/libwhisper.so*"
     "${CMAKE_BINARY_DIR}/lib/libparakeet.so*")
set(_stale_libs "")
foreach(lib ${_copied_libs})
    get_filename_component(_name "${lib}" NAME)
    if(NOT _name IN_LIST _whisper_names)
        list(APPEND _stale_libs "${lib}")
    endif()
endforeach()
if(_stale_libs)
    file(REMOVE ${_stale_libs})
endif()
foreach(lib ${_whisper_libs})
    file(COPY "${lib}" DESTINATION "${CMAKE_BINARY_DIR}/lib" FOLLOW_SYMLINK_CHAIN)
endforeach()
set(VANDREL_WHISPER_LIBRARY "${CMAKE_BINARY_DIR}/lib/libwhisper.so" CACHE INTERNAL "")
