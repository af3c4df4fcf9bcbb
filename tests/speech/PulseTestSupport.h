#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace vandrel::test {

// Runs a program (no shell) and returns its standard output, or nothing when it failed to run or exited
// with a non-zero status.
inline std::optional<std::string> runProgram(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    if (rc == 0) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (rc != 0) return std::nullopt;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// Mono samples of a 16-bit PCM WAV file (channels averaged) and its rate; empty on anything unexpected.
struct WavData {
    std::vector<float> samples;
    double rate = 0;
};

inline WavData readWav16(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WavData wav;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return wav;
    auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at) | static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    std::size_t pos = 12;
    std::uint16_t channels = 0, bits = 0;
    while (pos + 8 <= bytes.size()) {
        const std::uint32_t size = u32(pos + 4);
        const std::size_t body = pos + 8;
        if (std::memcmp(bytes.data() + pos, "fmt ", 4) == 0 && body + 16 <= bytes.size()) {
            channels = u16(body + 2);
            wav.rate = u32(body + 4);
            bits = u16(body + 14);
        } else if (std::memcmp(bytes.data() + pos, "data", 4) == 0 && channels > 0 && bits == 16) {
            const std::size_t end = std::min<std::size_t>(bytes.size(), body + size);
            for (std::size_t at = body; at + 2u * channels <= end; at += 2u * channels) {
                float sum = 0;
                for (std::uint16_t c = 0; c < channels; ++c)
                    sum += static_cast<float>(static_cast<std::int16_t>(u16(at + 2u * c))) / 32768.0f;
                wav.samples.push_back(sum / channels);
            }
            return wav;
        }
        pos = body + size + (size & 1);
    }
    return wav;
}

// Indices of the first and last sample louder than `threshold`.
inline std::optional<std::pair<std::size_t, std::size_t>> audibleSpan(const std::vector<float>& s, float threshold) {
    std::optional<std::size_t> first, last;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] > threshold || s[i] < -threshold) {
            if (!first) first = i;
            last = i;
        }
    }
    if (!first) return std::nullopt;
    return std::make_pair(*first, *last);
}

}  // namespace vandrel::test
