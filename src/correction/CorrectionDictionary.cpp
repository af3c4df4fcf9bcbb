#include "correction/CorrectionDictionary.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "correction/Text.h"

namespace vandrel {

namespace {

using nlohmann::json;

struct DecodeError {};

const json& required(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) throw DecodeError{};
    return *it;
}

// Null and absent are the same for optional keys.
const json* optional(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

std::string text(const json& v) {
    if (!v.is_string()) throw DecodeError{};
    return v.get<std::string>();
}

const json& array(const json& v) {
    if (!v.is_array()) throw DecodeError{};
    return v;
}

const json& object(const json& v) {
    if (!v.is_object()) throw DecodeError{};
    return v;
}

std::int64_t integer64(const json& v) {
    if (v.is_number_integer() && !v.is_number_unsigned()) return v.get<std::int64_t>();
    if (v.is_number_unsigned()) {
        auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) throw DecodeError{};
        return static_cast<std::int64_t>(u);
    }
    throw DecodeError{};
}

CorrectionDictionary decodeRoot(const json& root) {
    object(root);
    CorrectionDictionary d;
    d.id = text(required(root, "id"));
    d.name = text(required(root, "name"));
    d.version = integer64(required(root, "version"));
    d.language = text(required(root, "language"));
    if (const json* b = optional(root, "biasing_enabled")) {
        if (!b->is_boolean()) throw DecodeError{};
        d.biasingEnabled = b->get<bool>();
    }
    const json& terms = array(required(root, "terms"));
    d.terms.reserve(terms.size());
    for (const json& t : terms) {
        object(t);
        d.terms.push_back({text(required(t, "t")), text(required(t, "c"))});
    }
    const json& known = array(required(root, "known_corrections"));
    d.knownCorrections.reserve(known.size());
    for (const json& k : known) {
        object(k);
        CorrectionDictionary::KnownCorrection kc{text(required(k, "e")), text(required(k, "t")), std::nullopt};
        if (const json* s = optional(k, "source")) kc.source = text(*s);
        d.knownCorrections.push_back(std::move(kc));
    }
    const json& variants = array(required(root, "known_variants"));
    d.knownVariants.reserve(variants.size());
    for (const json& g : variants) {
        object(g);
        CorrectionDictionary::VariantGroup group;
        for (const json& f : array(required(g, "forms"))) group.forms.push_back(text(f));
        if (const json* n = optional(g, "note")) group.note = text(*n);
        d.knownVariants.push_back(std::move(group));
    }
    return d;
}

}  // namespace

std::optional<CorrectionDictionary> CorrectionDictionary::decode(std::string_view bytes) {
    json root = json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) return std::nullopt;
    try {
        return decodeRoot(root);
    } catch (const DecodeError&) {
        return std::nullopt;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::string CorrectionDictionary::encode() const {
    json root = json::object();
    root["id"] = id;
    root["name"] = name;
    root["version"] = version;
    root["language"] = language;
    root["biasing_enabled"] = biasingEnabled;
    json t = json::array();
    for (const auto& term : terms) t.push_back({{"t", term.t}, {"c", term.c}});
    root["terms"] = std::move(t);
    json k = json::array();
    for (const auto& kc : knownCorrections) {
        json o = {{"e", kc.e}, {"t", kc.t}};
        if (kc.source) o["source"] = *kc.source;
        k.push_back(std::move(o));
    }
    root["known_corrections"] = std::move(k);
    json v = json::array();
    for (const auto& g : knownVariants) {
        json o = {{"forms", g.forms}};
        if (g.note) o["note"] = *g.note;
        v.push_back(std::move(o));
    }
    root["known_variants"] = std::move(v);
    return root.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<std::string> buildVocabularyPrompt(const CorrectionDictionary& dictionary, int limit) {
    std::vector<std::string> words;
    std::unordered_set<std::string> taken;
    long long running = 0;
    for (const auto& kc : dictionary.knownCorrections) {
        std::string lower = text::lowercase(kc.t);
        if (taken.count(lower)) continue;
        long long cost = static_cast<long long>(text::length(kc.t)) + (words.empty() ? 0 : 2);
        if (running + cost > limit) break;
        words.push_back(kc.t);
        taken.insert(std::move(lower));
        running += cost;
    }
    struct Candidate {
        const std::string* term;
        std::size_t length;
    };
    std::vector<Candidate> candidates;
    for (const auto& term : dictionary.terms) {
        std::size_t len = text::length(term.t);
        if (len < 6 || taken.count(text::lowercase(term.t))) continue;
        candidates.push_back({&term.t, len});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.length > b.length; });
    for (const auto& c : candidates) {
        long long cost = static_cast<long long>(c.length) + 2;
        if (running + cost > limit) break;
        words.push_back(*c.term);
        running += cost;
    }
    if (words.empty()) return std::nullopt;
    return text::join(words, ", ");
}

}  // namespace vandrel
