#include "speech/ModelTier.h"

#include <regex>

#include "base/LocalizationManager.h"

namespace vandrel {

const std::array<ModelTier, 4>& allModelTiers() {
    static const std::array<ModelTier, 4> tiers = {ModelTier::largeTurboQ5, ModelTier::small, ModelTier::smallQ5,
                                                   ModelTier::base};
    return tiers;
}

std::string rawValue(ModelTier tier) {
    switch (tier) {
        case ModelTier::largeTurboQ5:
            return "largeTurboQ5";
        case ModelTier::small:
            return "small";
        case ModelTier::smallQ5:
            return "smallQ5";
        case ModelTier::base:
            return "base";
    }
    return {};
}

std::optional<ModelTier> modelTierFromRawValue(std::string_view raw) {
    for (ModelTier t : allModelTiers())
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

std::string displayName(ModelTier tier, const Bundle& bundle) {
    switch (tier) {
        case ModelTier::largeTurboQ5:
            return bundle.localizedString("Accurate");
        case ModelTier::small:
            return bundle.localizedString("Lightweight");
        case ModelTier::smallQ5:
            return bundle.localizedString("Low memory");
        case ModelTier::base:
            return "[Dev] Base";
    }
    return {};
}

std::string descriptionText(ModelTier tier, const Bundle& bundle) {
    switch (tier) {
        case ModelTier::largeTurboQ5:
            return bundle.localizedString("Best for multiple languages or less common ones");
        case ModelTier::small:
            return bundle.localizedString("Best for English, German, French, Spanish, or Italian");
        case ModelTier::smallQ5:
            return bundle.localizedString("Low memory (legacy)");
        case ModelTier::base:
            return "Development model";
    }
    return {};
}

std::string fileName(ModelTier tier) {
    switch (tier) {
        case ModelTier::largeTurboQ5:
            return "ggml-large-v3-turbo-q5_0.bin";
        case ModelTier::small:
            return "ggml-small.bin";
        case ModelTier::smallQ5:
            return "ggml-small-q5_1.bin";
        case ModelTier::base:
            return "ggml-base.bin";
    }
    return {};
}

std::string downloadURL(ModelTier tier, std::string_view baseUrl) { return std::string(baseUrl) + fileName(tier); }

std::string encoderFolderName(ModelTier tier) {
    static const std::regex quantSuffix(R"(-q[0-9]+_[A-Za-z0-9]+\.bin$)");
    std::string stem = std::regex_replace(fileName(tier), quantSuffix, "");
    for (auto pos = stem.find(".bin"); pos != std::string::npos; pos = stem.find(".bin")) stem.erase(pos, 4);
    return stem + "-encoder.mlmodelc";
}

std::string encoderArchiveName(ModelTier tier) { return encoderFolderName(tier) + ".zip"; }

std::string encoderDownloadURL(ModelTier tier, std::string_view baseUrl) {
    return std::string(baseUrl) + encoderArchiveName(tier);
}

const std::set<std::string>& smallModelLanguages() {
    static const std::set<std::string> languages = {"en", "de", "fr", "es", "it"};
    return languages;
}

}  // namespace vandrel
