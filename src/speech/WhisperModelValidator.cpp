#include "speech/WhisperModelValidator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "base/FdGuard.h"

namespace vandrel {
namespace {

constexpr std::uint32_t kGgmlMagic = 0x67676d6c;
constexpr std::int32_t kQuantVersionFactor = 1000;

class Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    virtual bool readAt(std::uint64_t offset, void* out, std::size_t n) const = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    bool readAt(std::uint64_t offset, void* out, std::size_t n) const override {
        if (offset > m_size || n > m_size - offset) return false;
        if (n) std::memcpy(out, m_data + offset, n);
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

class FileSource : public Source {
public:
    FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    bool readAt(std::uint64_t offset, void* out, std::size_t n) const override {
        if (offset > m_size || n > m_size - offset) return false;
        auto* p = static_cast<char*>(out);
        while (n > 0) {
            ssize_t got = pread(m_fd, p, n, static_cast<off_t>(offset));
            if (got <= 0) return false;
            p += got;
            n -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    int m_fd;
    std::uint64_t m_size;
};

// A forward cursor with a read-ahead window, so that walking 50k vocabulary entries costs a handful of
// reads, while skipping tensor data costs none.
class Cursor {
public:
    explicit Cursor(const Source& source) : m_source(source) {}
    std::uint64_t offset() const { return m_offset; }
    std::uint64_t remaining() const { return m_source.size() - m_offset; }

    bool read(void* out, std::size_t n) {
        if (n > remaining()) return false;
        if (m_offset < m_bufStart || m_offset + n > m_bufStart + m_buf.size()) {
            std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining(), std::max<std::size_t>(n, 1 << 16)));
            m_buf.resize(want);
            if (!m_source.readAt(m_offset, m_buf.data(), want)) return false;
            m_bufStart = m_offset;
        }
        std::memcpy(out, m_buf.data() + (m_offset - m_bufStart), n);
        m_offset += n;
        return true;
    }
    template <typename T>
    bool value(T& out) {
        return read(&out, sizeof(T));
    }
    bool skip(std::uint64_t n) {
        if (n > remaining()) return false;
        m_offset += n;
        return true;
    }

private:
    const Source& m_source;
    std::uint64_t m_offset = 0;
    std::uint64_t m_bufStart = 0;
    std::vector<char> m_buf;
};

struct TypeSize {
    std::int64_t block;
    std::int64_t bytes;
};

std::optional<TypeSize> typeSize(std::int32_t type) {
    switch (type) {
        case 0:
            return TypeSize{1, 4};  // F32
        case 1:
            return TypeSize{1, 2};  // F16
        case 2:
            return TypeSize{32, 18};  // Q4_0
        case 3:
            return TypeSize{32, 20};  // Q4_1
        case 6:
            return TypeSize{32, 22};  // Q5_0
        case 7:
            return TypeSize{32, 24};  // Q5_1
        case 8:
            return TypeSize{32, 34};  // Q8_0
        case 10:
            return TypeSize{256, 84};  // Q2_K
        case 11:
            return TypeSize{256, 110};  // Q3_K
        case 12:
            return TypeSize{256, 144};  // Q4_K
        case 13:
            return TypeSize{256, 176};  // Q5_K
        case 14:
            return TypeSize{256, 210};  // Q6_K
        case 30:
            return TypeSize{1, 2};  // BF16
        default:
            return std::nullopt;
    }
}

std::optional<std::int32_t> weightTypeForFileType(std::int32_t ftype) {
    switch (ftype) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return 2;
        case 3:
        case 4:
            return 3;
        case 7:
            return 8;
        case 8:
            return 6;
        case 9:
            return 7;
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
            return ftype;
        case 24:
            return 30;
        default:
            return std::nullopt;
    }
}

// Bytes of a tensor of `type` with the given shape, or -1 when the rows do not fill whole blocks.
std::int64_t tensorBytes(std::int32_t type, const std::int64_t ne[4]) {
    auto ts = typeSize(type);
    if (!ts || ne[0] % ts->block != 0) return -1;
    std::int64_t rows = ne[1] * ne[2] * ne[3];
    return rows * (ne[0] / ts->block) * ts->bytes;
}

struct Expected {
    std::int64_t ne[4];
    std::int32_t type;
};

std::string blockName(const char* prefix, int layer, const char* suffix) {
    return std::string(prefix) + ".blocks." + std::to_string(layer) + "." + suffix;
}

std::map<std::string, Expected> expectedTensors(std::int64_t vocab, std::int64_t audioCtx, std::int64_t state,
                                                std::int64_t audioLayers, std::int64_t textCtx, std::int64_t textLayers,
                                                std::int64_t mels, std::int32_t wtype) {
    const std::int32_t f32 = 0;
    const std::int32_t vtype = wtype == 0 ? 0 : 1;
    std::map<std::string, Expected> m;
    auto add = [&](const std::string& name, std::int32_t type, std::int64_t a, std::int64_t b = 1, std::int64_t c = 1) {
        m[name] = Expected{{a, b, c, 1}, type};
    };
    add("encoder.positional_embedding", f32, state, audioCtx);
    add("encoder.conv1.weight", vtype, 3, mels, state);
    add("encoder.conv1.bias", f32, 1, state);
    add("encoder.conv2.weight", vtype, 3, state, state);
    add("encoder.conv2.bias", f32, 1, state);
    add("encoder.ln_post.weight", f32, state);
    add("encoder.ln_post.bias", f32, state);
    auto attention = [&](const char* prefix, int i, const char* attn) {
        const std::string a(attn);
        add(blockName(prefix, i, (a + "_ln.weight").c_str()), f32, state);
        add(blockName(prefix, i, (a + "_ln.bias").c_str()), f32, state);
        add(blockName(prefix, i, (a + ".query.weight").c_str()), wtype, state, state);
        add(blockName(prefix, i, (a + ".query.bias").c_str()), f32, state);
        add(blockName(prefix, i, (a + ".key.weight").c_str()), wtype, state, state);
        add(blockName(prefix, i, (a + ".value.weight").c_str()), wtype, state, state);
        add(blockName(prefix, i, (a + ".value.bias").c_str()), f32, state);
        add(blockName(prefix, i, (a + ".out.weight").c_str()), wtype, state, state);
        add(blockName(prefix, i, (a + ".out.bias").c_str()), f32, state);
    };
    auto mlp = [&](const char* prefix, int i) {
        add(blockName(prefix, i, "mlp_ln.weight"), f32, state);
        add(blockName(prefix, i, "mlp_ln.bias"), f32, state);
        add(blockName(prefix, i, "mlp.0.weight"), wtype, state, 4 * state);
        add(blockName(prefix, i, "mlp.0.bias"), f32, 4 * state);
        add(blockName(prefix, i, "mlp.2.weight"), wtype, 4 * state, state);
        add(blockName(prefix, i, "mlp.2.bias"), f32, state);
    };
    for (int i = 0; i < audioLayers; ++i) {
        mlp("encoder", i);
        attention("encoder", i, "attn");
    }
    add("decoder.positional_embedding", f32, state, textCtx);
    add("decoder.token_embedding.weight", wtype, state, vocab);
    add("decoder.ln.weight", f32, state);
    add("decoder.ln.bias", f32, state);
    for (int i = 0; i < textLayers; ++i) {
        mlp("decoder", i);
        attention("decoder", i, "attn");
        attention("decoder", i, "cross_attn");
    }
    return m;
}

std::optional<std::string> validate(const Source& source) {
    Cursor in(source);
    std::uint32_t magic = 0;
    if (!in.value(magic)) return "file too short for a model header";
    if (magic != kGgmlMagic) return "not a whisper model file (bad magic)";

    std::int32_t hp[11];
    for (auto& v : hp)
        if (!in.value(v)) return "truncated model header";
    const auto [nVocab, audioCtx, audioState, audioHead, audioLayers, textCtx, textState, textHead, textLayers, nMels,
                rawFtype] = hp;
    if (nVocab < 51864 || nVocab > 51866) return "implausible vocabulary size " + std::to_string(nVocab);
    if (audioCtx < 1 || audioCtx > 1500) return "implausible audio context " + std::to_string(audioCtx);
    if (textCtx < 1 || textCtx > 448) return "implausible text context " + std::to_string(textCtx);
    if (audioState < 1 || audioState > 8192 || textState != audioState) return "implausible model width";
    if (audioHead < 1 || textHead < 1 || audioState % audioHead != 0 || textState % textHead != 0)
        return "implausible attention head count";
    if (audioLayers < 1 || audioLayers > 64 || textLayers < 1 || textLayers > 64) return "implausible layer count";
    if (nMels != 80 && nMels != 128) return "implausible mel band count " + std::to_string(nMels);
    if (rawFtype < 0) return "invalid weight type";
    auto wtype = weightTypeForFileType(rawFtype % kQuantVersionFactor);
    if (!wtype) return "unsupported weight type " + std::to_string(rawFtype);

    std::int32_t filterMel = 0, filterFft = 0;
    if (!in.value(filterMel) || !in.value(filterFft)) return "truncated mel filters";
    if (filterMel < 1 || filterMel > 256 || filterFft < 1 || filterFft > 4096) return "implausible mel filters";
    if (!in.skip(std::uint64_t(filterMel) * std::uint64_t(filterFft) * 4)) return "truncated mel filters";

    std::int32_t vocabEntries = 0;
    if (!in.value(vocabEntries)) return "truncated vocabulary";
    if (vocabEntries < 0 || vocabEntries > nVocab) return "implausible vocabulary entry count";
    for (std::int32_t i = 0; i < vocabEntries; ++i) {
        std::uint32_t len = 0;
        if (!in.value(len)) return "truncated vocabulary";
        if (len > 4096 || !in.skip(len)) return "truncated or damaged vocabulary";
    }

    auto expected = expectedTensors(nVocab, audioCtx, audioState, audioLayers, textCtx, textLayers, nMels, *wtype);
    std::set<std::string> seen;
    while (in.remaining() > 0) {
        std::int32_t nDims = 0, nameLength = 0, ttype = 0;
        if (!in.value(nDims) || !in.value(nameLength) || !in.value(ttype)) return "truncated tensor header";
        if (nDims < 1 || nDims > 4) return "damaged tensor header";
        if (nameLength < 1 || nameLength > 256) return "damaged tensor name";
        std::int64_t ne[4] = {1, 1, 1, 1};
        for (int d = 0; d < nDims; ++d) {
            std::int32_t v = 0;
            if (!in.value(v)) return "truncated tensor header";
            if (v < 1) return "damaged tensor shape";
            ne[d] = v;
        }
        std::string name(static_cast<std::size_t>(nameLength), '\0');
        if (!in.read(name.data(), name.size())) return "truncated tensor header";
        auto it = expected.find(name);
        if (it == expected.end()) return "unknown tensor in model file";
        if (!seen.insert(name).second) return "tensor " + name + " appears twice";
        const Expected& e = it->second;
        for (int d = 0; d < 4; ++d)
            if (ne[d] != e.ne[d]) return "tensor " + name + " has the wrong shape";
        std::int64_t bytes = tensorBytes(e.type, ne);
        if (bytes < 0 || tensorBytes(ttype, ne) != bytes) return "tensor " + name + " has the wrong type";
        if (!in.skip(static_cast<std::uint64_t>(bytes))) return "model file is truncated (tensor " + name + ")";
    }
    if (seen.size() != expected.size())
        return "model file is incomplete (" + std::to_string(seen.size()) + " of " + std::to_string(expected.size()) +
               " tensors)";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> validateWhisperModelBytes(const std::uint8_t* data, std::size_t size) {
    MemorySource source(data, size);
    return validate(source);
}

std::optional<std::string> validateWhisperModelFile(const std::filesystem::path& path) {
    // Non-blocking, so that a pipe in the model's place is refused below instead of waited on.
    const FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return "cannot open " + path.filename().string() + ": " + std::strerror(errno);
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return path.filename().string() + " is not a regular file";
    FileSource source(fd.get(), static_cast<std::uint64_t>(st.st_size));
    return validate(source);
}

}  // namespace vandrel
