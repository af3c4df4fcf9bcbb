// Builds the shipped lexicons and frequency lists.
//
//   vandrel_lexicon_builder <out> <data> <de_med.dic> <ngerman> <italian> <american-english> <american-english-large>
//
// Terms come from the word lists (medical words by their Latin and Greek endings) and from the
// hand-written files in <data>; known corrections and variant groups are hand-written. The word lists
// carry no counts, so a frequency list ranks a language's plain words shortest first: a short word is far
// more likely to be common, and every listed word counts as common to the correction engine anyway.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/FileUtil.h"
#include "correction/CorrectionDictionary.h"
#include "correction/Text.h"

namespace fs = std::filesystem;
using vandrel::CorrectionDictionary;

namespace {

std::vector<std::string> readLines(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Data files: '#' starts a comment line; fields are separated by a tab.
std::vector<std::vector<std::string>> readData(const fs::path& p) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& line : readLines(p)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::size_t i = 0;
        for (;;) {
            std::size_t j = line.find('\t', i);
            fields.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
            if (j == std::string::npos) break;
            i = j + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

bool endsWithAny(const std::string& lower, const std::vector<std::string>& suffixes, std::size_t minLength) {
    if (vandrel::text::length(lower) < minLength) return false;
    return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& s) {
        return lower.size() > s.size() + 2 && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    });
}

struct Builder {
    CorrectionDictionary dict;
    std::unordered_set<std::string> seen;

    void addTerm(const std::string& t, const std::string& c) {
        if (t.empty() || !vandrel::text::isValidUtf8(t)) return;
        if (!seen.insert(vandrel::text::lowercase(t)).second) return;
        dict.terms.push_back({t, c});
    }
    void addData(const fs::path& data, const std::string& prefix) {
        for (auto& row : readData(data / (prefix + "_terms.txt"))) addTerm(row[0], row.size() > 1 ? row[1] : "");
        for (auto& row : readData(data / (prefix + "_known.txt"))) {
            if (row.size() < 2 || row[0].empty()) continue;
            dict.knownCorrections.push_back({row[0], row[1], std::string("Curated by Vandrel")});
        }
        for (auto& row : readData(data / (prefix + "_variants.txt"))) {
            CorrectionDictionary::VariantGroup g;
            std::string line = row[0];
            std::size_t i = 0;
            for (;;) {
                std::size_t j = line.find('|', i);
                g.forms.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
                if (j == std::string::npos) break;
                i = j + 1;
            }
            dict.knownVariants.push_back(std::move(g));
        }
    }
};

void writeLexicon(const fs::path& out, const std::string& key, CorrectionDictionary dict) {
    if (!vandrel::writeFileAtomically(out / (key + ".json"), dict.encode()))
        throw std::runtime_error("cannot write " + key);
    fs::permissions(out / (key + ".json"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    std::cout << key << ": " << dict.terms.size() << " terms, " << dict.knownCorrections.size()
              << " known corrections, " << dict.knownVariants.size() << " variant groups\n";
}

void writeFrequency(const fs::path& out, const std::string& language, const std::vector<std::string>& words) {
    std::set<std::string> unique;
    for (const auto& w : words) {
        if (w.empty() || w.find('\'') != std::string::npos || !vandrel::text::isValidUtf8(w)) continue;
        unique.insert(vandrel::text::lowercase(w));
    }
    std::vector<std::string> ranked(unique.begin(), unique.end());
    std::stable_sort(ranked.begin(), ranked.end(), [](const std::string& a, const std::string& b) {
        return vandrel::text::length(a) < vandrel::text::length(b);
    });
    if (ranked.size() > 50000) ranked.resize(50000);
    std::string text;
    for (const auto& w : ranked) text += w + "\n";
    if (!vandrel::writeFileAtomically(out / (language + "_frequency_50k.txt"), text))
        throw std::runtime_error("cannot write frequency list " + language);
    fs::permissions(out / (language + "_frequency_50k.txt"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    std::cout << language << "_frequency_50k.txt: " << ranked.size() << " words\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::cerr << "usage: " << argv[0]
                  << " <out> <data> <de_med.dic> <ngerman> <italian> <american-english> <american-english-large>\n";
        return 2;
    }
    try {
        const fs::path out = argv[1], data = argv[2];
        fs::create_directories(out);
        const auto deMed = readLines(argv[3]);
        const auto ngerman = readLines(argv[4]);
        const auto italian = readLines(argv[5]);
        const auto english = readLines(argv[6]);
        const auto englishLarge = readLines(argv[7]);

        {
            Builder b;
            b.dict = {"medical_de_v7", "Medizin Deutsch", 7, "de", true, {}, {}, {}};
            b.addData(data, "medical_de");
            // de_med.dic: a count line, then one word per line with optional "/flags".
            for (std::size_t i = 1; i < deMed.size(); ++i) {
                std::string w = deMed[i].substr(0, deMed[i].find('/'));
                if (vandrel::text::length(w) >= 4) b.addTerm(w, "de_med");
            }
            const std::vector<std::string> suffixes = {
                "itis",         "ose",      "om",      "ektomie",   "tomie",   "skopie",   "graphie",
                "grafie",       "therapie", "pathie",  "algie",     "ämie",    "urie",     "plegie",
                "kardie",       "tonie",    "pnoe",    "sklerose",  "stenose", "karzinom", "syndrom",
                "insuffizienz", "infarkt",  "embolie", "thrombose", "zytose",  "penie",    "philie"};
            for (const auto& w : ngerman)
                if (endsWithAny(vandrel::text::lowercase(w), suffixes, 7)) b.addTerm(w, "wngerman");
            writeLexicon(out, "medical_de_v7", std::move(b.dict));
        }
        {
            Builder b;
            b.dict = {"medical_it_v1", "Medicina Italiano", 1, "it", true, {}, {}, {}};
            b.addData(data, "medical_it");
            const std::vector<std::string> suffixes = {
                "ite",      "osi",           "oma",     "ectomia", "tomia",    "scopia",    "grafia",
                "terapia",  "patia",         "algia",   "emia",    "uria",     "plegia",    "cardia",
                "tensione", "insufficienza", "infarto", "stenosi", "sclerosi", "carcinoma", "sindrome",
                "embolia",  "trombosi",      "citosi",  "penia",   "cillina",  "floxacina", "prazolo"};
            for (const auto& w : italian)
                if (endsWithAny(vandrel::text::lowercase(w), suffixes, 7)) b.addTerm(w, "witalian");
            writeLexicon(out, "medical_it_v1", std::move(b.dict));
        }
        {
            Builder b;
            b.dict = {"software_en_v1", "Software English", 1, "en", true, {}, {}, {}};
            b.addData(data, "software_en");
            writeLexicon(out, "software_en_v1", std::move(b.dict));
        }

        writeFrequency(out, "de", ngerman);
        writeFrequency(out, "it", italian);
        std::vector<std::string> plainEnglish;
        for (const auto& w : english)
            if (!w.empty() && std::islower(static_cast<unsigned char>(w[0]))) plainEnglish.push_back(w);
        // The large list only fills up what the common list leaves free.
        std::unordered_set<std::string> inCommon(plainEnglish.begin(), plainEnglish.end());
        std::vector<std::string> ranked = plainEnglish;
        if (ranked.size() < 50000)
            for (const auto& w : englishLarge)
                if (!w.empty() && std::islower(static_cast<unsigned char>(w[0])) && !inCommon.count(w))
                    ranked.push_back(w);
        writeFrequency(out, "en", ranked);
    } catch (const std::exception& e) {
        std::cerr << "vandrel_lexicon_builder: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
