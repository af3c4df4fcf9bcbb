#include "support/TinyWhisperModel.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vandrel::test {
namespace {

class Writer {
public:
    Writer(const std::filesystem::path& path, bool sparse, std::uint32_t seed)
        : m_out(path, std::ios::binary | std::ios::trunc), m_sparse(sparse), m_state(seed ? seed : 1) {
        if (!m_out) throw std::runtime_error("cannot write " + path.string());
    }
    template <typename T>
    void put(T v) {
        m_out.write(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void bytes(const std::string& s) { m_out.write(s.data(), static_cast<std::streamsize>(s.size())); }
    float random() {
        m_state = m_state * 1664525u + 1013904223u;
        return (static_cast<float>(m_state >> 8) / float(1 << 24) - 0.5f) * 0.2f;
    }
    static std::uint16_t half(float f) {
        std::uint32_t x;
        std::memcpy(&x, &f, 4);
        const std::uint32_t sign = (x >> 16) & 0x8000;
        const int exponent = int((x >> 23) & 0xff) - 127 + 15;
        const std::uint32_t mantissa = (x >> 13) & 0x3ff;
        if (exponent <= 0) return static_cast<std::uint16_t>(sign);
        if (exponent >= 31) return static_cast<std::uint16_t>(sign | 0x7c00);
        return static_cast<std::uint16_t>(sign | (std::uint32_t(exponent) << 10) | mantissa);
    }
    // `value`, when given, replaces the random value of element i (the random draw still happens, so
    // the tensors after it are unchanged).
    void tensor(const std::string& name, std::int32_t type, std::vector<std::int32_t> ne,
                const std::function<std::optional<float>(std::uint64_t)>& value = {}) {
        put<std::int32_t>(static_cast<std::int32_t>(ne.size()));
        put<std::int32_t>(static_cast<std::int32_t>(name.size()));
        put<std::int32_t>(type);
        std::uint64_t count = 1;
        for (auto n : ne) {
            put<std::int32_t>(n);
            count *= static_cast<std::uint64_t>(n);
        }
        bytes(name);
        const std::uint64_t size = count * (type == 0 ? 4 : 2);
        if (m_sparse) {
            m_out.seekp(static_cast<std::streamoff>(size), std::ios::cur);
            return;
        }
        std::vector<char> data(size);
        for (std::uint64_t i = 0; i < count; ++i) {
            float f = random();
            if (value)
                if (auto v = value(i)) f = *v;
            if (type == 0) {
                std::memcpy(&data[i * 4], &f, 4);
            } else {
                std::uint16_t h = half(f);
                std::memcpy(&data[i * 2], &h, 2);
            }
        }
        m_out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    std::uint64_t finish() {
        // A sparse file must still reach its full length.
        m_out.seekp(0, std::ios::end);
        const auto end = static_cast<std::uint64_t>(m_out.tellp());
        m_out.close();
        return end;
    }
    std::ofstream& stream() { return m_out; }

private:
    std::ofstream m_out;
    bool m_sparse;
    std::uint32_t m_state;
};

}  // namespace

std::uint64_t writeTinyWhisperModel(const std::filesystem::path& path, const TinyWhisperModelOptions& o) {
    Writer w(path, o.sparse, o.seed);
    w.put<std::uint32_t>(0x67676d6c);
    for (std::int32_t v : {o.vocab, o.audioCtx, o.state, o.heads, o.audioLayers, o.textCtx, o.state, o.heads,
                           o.textLayers, o.mels, o.ftype})
        w.put(v);
    // Mel filter bank: n_mel x 201 FFT bins.
    w.put<std::int32_t>(o.mels);
    w.put<std::int32_t>(201);
    for (int i = 0; i < o.mels * 201; ++i) w.put<float>(i % 201 == i / 201 ? 1.0f : 0.0f);
    // The text tokens; whisper adds the special tokens (end of text, languages, timestamps) itself.
    const std::int32_t textTokens = 50257;
    w.put<std::int32_t>(textTokens);
    for (std::int32_t i = 0; i < textTokens; ++i) {
        std::string word;
        if (i < 256) {
            word = (i >= 32 && i < 127) ? std::string(1, char(i)) : std::string("?");
        } else {
            word = " w" + std::to_string(i);
        }
        w.put<std::uint32_t>(static_cast<std::uint32_t>(word.size()));
        w.bytes(word);
    }
    const std::int32_t s = o.state;
    const std::int32_t wtype = o.ftype;
    const std::int32_t vtype = o.ftype == 0 ? 0 : 1;
    w.tensor("encoder.positional_embedding", 0, {s, o.audioCtx});
    w.tensor("encoder.conv1.weight", vtype, {3, o.mels, s});
    w.tensor("encoder.conv1.bias", 0, {1, s});
    w.tensor("encoder.conv2.weight", vtype, {3, s, s});
    w.tensor("encoder.conv2.bias", 0, {1, s});
    w.tensor("encoder.ln_post.weight", 0, {s});
    w.tensor("encoder.ln_post.bias", 0, {s});
    auto block = [&](const std::string& prefix) {
        w.tensor(prefix + "_ln.weight", 0, {s});
        w.tensor(prefix + "_ln.bias", 0, {s});
        w.tensor(prefix + ".query.weight", wtype, {s, s});
        w.tensor(prefix + ".query.bias", 0, {s});
        w.tensor(prefix + ".key.weight", wtype, {s, s});
        w.tensor(prefix + ".value.weight", wtype, {s, s});
        w.tensor(prefix + ".value.bias", 0, {s});
        w.tensor(prefix + ".out.weight", wtype, {s, s});
        w.tensor(prefix + ".out.bias", 0, {s});
    };
    auto mlp = [&](const std::string& prefix) {
        w.tensor(prefix + "mlp_ln.weight", 0, {s});
        w.tensor(prefix + "mlp_ln.bias", 0, {s});
        w.tensor(prefix + "mlp.0.weight", wtype, {s, 4 * s});
        w.tensor(prefix + "mlp.0.bias", 0, {4 * s});
        w.tensor(prefix + "mlp.2.weight", wtype, {4 * s, s});
        w.tensor(prefix + "mlp.2.bias", 0, {s});
    };
    for (int i = 0; i < o.audioLayers; ++i) {
        const std::string p = "encoder.blocks." + std::to_string(i) + ".";
        mlp(p);
        block(p + "attn");
    }
    w.tensor("decoder.positional_embedding", 0, {s, o.textCtx});
    // whisper numbers end of text after the text tokens, one further on for a multilingual vocabulary.
    const std::int32_t endOfText = textTokens - 1 + (o.vocab >= 51865 ? 1 : 0);
    const bool fixed = o.onlyTextToken >= 0 && o.onlyTextToken < endOfText;
    // The logits are the token embedding times the final layer norm's output; with the norm's weight
    // zero that output is its bias (all ones), so a token's logit is the sum of its embedding row.
    auto favoured = [&](std::uint64_t i) -> std::optional<float> {
        const auto token = static_cast<std::int32_t>(i / static_cast<std::uint64_t>(s));
        if (token == endOfText) return 3.0f;
        if (token == o.onlyTextToken) return 2.0f;
        return std::nullopt;
    };
    using Value = std::function<std::optional<float>(std::uint64_t)>;
    auto constant = [fixed](float c) {
        return fixed ? Value([c](std::uint64_t) -> std::optional<float> { return c; }) : Value();
    };
    w.tensor("decoder.token_embedding.weight", wtype, {s, o.vocab}, fixed ? Value(favoured) : Value());
    w.tensor("decoder.ln.weight", 0, {s}, constant(0.0f));
    w.tensor("decoder.ln.bias", 0, {s}, constant(1.0f));
    for (int i = 0; i < o.textLayers; ++i) {
        const std::string p = "decoder.blocks." + std::to_string(i) + ".";
        mlp(p);
        block(p + "attn");
        block(p + "cross_attn");
    }
    if (o.sparse) {
        // Extend to the full length even when the last tensor's data was skipped.
        auto end = w.stream().tellp();
        w.stream().seekp(end - std::streamoff(1));
        w.stream().put('\0');
    }
    return w.finish();
}

}  // namespace vandrel::test
