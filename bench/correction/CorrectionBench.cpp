// Load, correction and query costs of the correction engine on generated lexicons.
//   correction_bench [benchmark flags]
//   correction_bench --load-memory <terms>   one load in a fresh process; prints the peak resident size
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "SyntheticLexicon.h"
#include "base/Paths.h"
#include "correction/CorrectionEngine.h"
#include "correction/StringSimilarity.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

struct Fixture {
    fs::path folder;
    bench::SyntheticLexicon lexicon;
};

// One generated lexicon per (terms, language), written once per process into its own resources folder.
const Fixture& fixture(int terms, const std::string& language) {
    static std::map<std::pair<int, std::string>, Fixture> cache;
    auto key = std::make_pair(terms, language);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    Fixture f;
    f.folder = fs::temp_directory_path() / ("vandrel-bench-" + std::to_string(terms) + "-" + language);
    fs::create_directories(f.folder);
    f.lexicon = bench::writeSyntheticLexicon(f.folder, "synthetic", language, terms);
    return cache.emplace(key, std::move(f)).first->second;
}

CorrectionEngine& loadedEngine(int terms, const std::string& language) {
    static std::map<std::pair<int, std::string>, std::unique_ptr<CorrectionEngine>> engines;
    auto& e = engines[{terms, language}];
    if (!e) {
        const auto& f = fixture(terms, language);
        Paths::setResourcesOverride(f.folder);
        e = std::make_unique<CorrectionEngine>();
        if (!e->loadDictionary("synthetic")) std::abort();
    }
    return *e;
}

void BM_LoadLexicon(benchmark::State& state) {
    const auto& f = fixture(static_cast<int>(state.range(0)), "de");
    Paths::setResourcesOverride(f.folder);
    state.counters["json_MB"] = static_cast<double>(fs::file_size(f.folder / "synthetic.json")) / 1e6;
    for (auto _ : state) {
        CorrectionEngine engine;
        benchmark::DoNotOptimize(engine.loadDictionary("synthetic"));
    }
}
BENCHMARK(BM_LoadLexicon)->Arg(17500)->Arg(180000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CorrectGerman100Words(benchmark::State& state) {
    auto& engine = loadedEngine(180000, "de");
    const auto text = bench::syntheticTranscript(fixture(180000, "de").lexicon, 100, 1);
    std::size_t corrections = 0;
    for (auto _ : state) corrections = engine.correct(text, -0.5f).corrections.size();
    state.counters["corrections"] = static_cast<double>(corrections);
}
BENCHMARK(BM_CorrectGerman100Words)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("median",
                        [](const std::vector<double>& v) {
                            auto s = v;
                            std::sort(s.begin(), s.end());
                            return s[s.size() / 2];
                        })
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_CorrectEnglishFuzzy100Words(benchmark::State& state) {
    auto& engine = loadedEngine(50000, "en");
    const auto text = bench::syntheticTranscript(fixture(50000, "en").lexicon, 100, 2);
    std::size_t fuzzy = 0;
    for (auto _ : state) {
        auto r = engine.correct(text, -0.5f);
        fuzzy =
            static_cast<std::size_t>(std::count_if(r.corrections.begin(), r.corrections.end(), [](const Correction& c) {
                return c.strategy == Correction::Strategy::fuzzy;
            }));
    }
    state.counters["fuzzy_corrections"] = static_cast<double>(fuzzy);
}
BENCHMARK(BM_CorrectEnglishFuzzy100Words)->Unit(benchmark::kMillisecond);

void BM_AdversarialLongToken(benchmark::State& state) {
    auto& engine = loadedEngine(180000, "en");
    std::string token;
    for (int i = 0; token.size() < 20000; ++i) token += (i % 3 == 0) ? "-" : "kar";
    token.resize(20000);
    for (auto _ : state) benchmark::DoNotOptimize(engine.correct(token, -0.5f));
}
BENCHMARK(BM_AdversarialLongToken)->Unit(benchmark::kMillisecond);

void BM_AdversarialLongPlainToken(benchmark::State& state) {
    auto& engine = loadedEngine(180000, "en");
    std::string token(20000, 'k');
    for (auto _ : state) benchmark::DoNotOptimize(engine.correct(token, -0.5f));
}
BENCHMARK(BM_AdversarialLongPlainToken)->Unit(benchmark::kMillisecond);

// The English 100-word dictation against its lexicon plus one term of a megabyte of random letters,
// which holds nearly every trigram and so is a candidate for nearly every word.
void BM_AdversarialHugeTerm(benchmark::State& state) {
    const auto& f = fixture(50000, "en");
    CorrectionDictionary d;
    d.id = "huge";
    d.name = "Huge";
    d.version = 1;
    d.language = "en";
    for (const auto& t : f.lexicon.terms) d.terms.push_back({t, ""});
    std::string huge(1 << 20, 'a');
    unsigned x = 12345;
    for (auto& c : huge) c = static_cast<char>('a' + (x = x * 1103515245u + 12345u) % 26);
    d.terms.push_back({huge, ""});
    CorrectionEngine engine;
    engine.setVocabulary(loadedEngine(50000, "en").vocabulary());
    engine.setDictionary(CorrectionEngine::makeDictionary(d));
    const auto text = bench::syntheticTranscript(f.lexicon, 100, 2);
    std::uint64_t distances = 0;
    for (auto _ : state) {
        const auto before = editDistanceCount();
        benchmark::DoNotOptimize(engine.correct(text, -0.5f));
        distances = editDistanceCount() - before;
    }
    state.counters["edit_distances"] = static_cast<double>(distances);
}
BENCHMARK(BM_AdversarialHugeTerm)->Unit(benchmark::kMillisecond);

void BM_Adversarial800Words(benchmark::State& state) {
    auto& engine = loadedEngine(180000, "en");
    const auto text = bench::syntheticTranscript(fixture(180000, "en").lexicon, 800, 3);
    for (auto _ : state) benchmark::DoNotOptimize(engine.correct(text, -0.5f));
}
BENCHMARK(BM_Adversarial800Words)->Unit(benchmark::kMillisecond);

void BM_Adversarial200Hyphenated(benchmark::State& state) {
    auto& engine = loadedEngine(180000, "en");
    const auto& terms = fixture(180000, "en").lexicon.terms;
    std::string text;
    for (int i = 0; i < 200; ++i) {
        const std::string& t = terms[static_cast<std::size_t>(i * 7919) % terms.size()];
        std::string h;
        for (std::size_t k = 0; k < t.size(); ++k) {
            h += t[k];
            if (k % 3 == 2 && t[k] != ' ') h += '-';
        }
        text += (text.empty() ? "" : " ") + h + "-x";
    }
    for (auto _ : state) benchmark::DoNotOptimize(engine.correct(text, -0.5f));
}
BENCHMARK(BM_Adversarial200Hyphenated)->Unit(benchmark::kMillisecond);

void BM_TrigramQuery(benchmark::State& state) {
    auto dictionary = loadedEngine(180000, "de").dictionary();
    const char* words[] = {"karotinesis", "perdiagnoses", "neurologie", "suffizienz", "ostearthritis"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(dictionary->trigramCandidates(words[i++ % 5], 10));
}
BENCHMARK(BM_TrigramQuery)->Unit(benchmark::kMicrosecond);

void BM_PhoneticQuery(benchmark::State& state) {
    auto dictionary = loadedEngine(180000, "de").dictionary();
    const char* words[] = {"karotinesis", "perdiagnoses", "neurologie", "suffizienz", "ostearthritis"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(dictionary->phoneticCandidates(words[i++ % 5], 10));
}
BENCHMARK(BM_PhoneticQuery)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load-memory") == 0) {
        const int terms = std::atoi(argv[2]);
        const auto& f = fixture(terms, "de");  // generated first; the peak is measured by a second process
        (void)f;
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--measure-load") == 0) {
        const fs::path folder = fs::temp_directory_path() / ("vandrel-bench-" + std::string(argv[2]) + "-de");
        Paths::setResourcesOverride(folder);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        CorrectionEngine engine;
        bool ok = engine.loadDictionary("synthetic");
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        std::printf("loaded=%d terms=%zu peak_rss_MB=%.1f (before load %.1f)\n", ok ? 1 : 0,
                    ok ? engine.dictionary()->termCount() : 0, static_cast<double>(after.ru_maxrss) / 1024.0,
                    static_cast<double>(before.ru_maxrss) / 1024.0);
        return ok ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
