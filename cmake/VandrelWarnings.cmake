# Warnings for our own targets (not for whisper.cpp), sanitizers for everything we build.
add_library(vandrel_warnings INTERFACE)
target_compile_options(vandrel_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
if(VANDREL_WERROR)
    target_compile_options(vandrel_warnings INTERFACE -Werror)
endif()
if(VANDREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# vandrel_module(NAME SOURCES ... LIBS ...): one static library per src/ folder.
function(vandrel_module name)
    cmake_parse_arguments(M "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} STATIC ${M_SOURCES})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${M_LIBS} PRIVATE vandrel_warnings ${M_PRIVATE_LIBS})
    if(VANDREL_FUZZ)
        # The fuzzers are guided by coverage of the code they feed: instrument the libraries too, not only
        # the harness (libFuzzer itself is linked into the fuzz executables alone).
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()
