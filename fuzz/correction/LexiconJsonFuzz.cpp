// Lexicon files are outside data: decoding must never crash, and whatever decodes must index, build its
// prompt and correct a text (built from the file's own words) without failing.
#include <cstdint>
#include <string>
#include <string_view>

#include "correction/CorrectionDictionary.h"
#include "correction/CorrectionEngine.h"
#include "correction/FrequencyVocabulary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto decoded = vandrel::CorrectionDictionary::decode(bytes);
    if (!decoded) return 0;
    (void)vandrel::buildVocabularyPrompt(*decoded, 900);
    vandrel::CorrectionEngine engine;
    engine.setDictionary(vandrel::CorrectionEngine::makeDictionary(*decoded));
    engine.setVocabulary(
        std::make_shared<const vandrel::FrequencyVocabulary>(*vandrel::FrequencyVocabulary::fromText("the\n")));
    std::string text;
    for (const auto& kc : decoded->knownCorrections) text += kc.e + " " + kc.t + "- ";
    for (const auto& t : decoded->terms) text += t.t + "s " + t.t.substr(0, t.t.size() / 2) + " ";
    (void)engine.correct(text, -1.0f);
    return 0;
}
