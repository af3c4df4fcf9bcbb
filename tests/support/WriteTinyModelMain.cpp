// Writes the tiny random-weight whisper model to the path given, for measurements and manual runs.
#include <cstdio>

#include "support/TinyWhisperModel.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MODEL_FILE\n", argv[0]);
        return 2;
    }
    const auto bytes = vandrel::test::writeTinyWhisperModel(argv[1]);
    std::printf("wrote %llu bytes to %s\n", static_cast<unsigned long long>(bytes), argv[1]);
    return bytes > 0 ? 0 : 1;
}
