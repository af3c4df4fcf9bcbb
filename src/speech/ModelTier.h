#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vandrel {

class Bundle;

// The speech models the application offers, in the order the settings list them.
enum class ModelTier { largeTurboQ5, small, smallQ5, base };

// The model download server; models and encoder archives live under it.
inline constexpr std::string_view kModelDownloadBaseUrl = "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";

const std::array<ModelTier, 4>& allModelTiers();
std::string rawValue(ModelTier tier);
// Exact match of the raw value; anything else (also "Small") is no tier.
std::optional<ModelTier> modelTierFromRawValue(std::string_view raw);
// Display texts, looked up in `bundle` (the "[Dev]" tier's texts are fixed English).
std::string displayName(ModelTier tier, const Bundle& bundle);
std::string descriptionText(ModelTier tier, const Bundle& bundle);
std::string fileName(ModelTier tier);
std::string downloadURL(ModelTier tier, std::string_view baseUrl = kModelDownloadBaseUrl);
// The Core ML encoder folder beside the model ("small" and "smallQ5" share one) and its archive.
std::string encoderFolderName(ModelTier tier);
std::string encoderArchiveName(ModelTier tier);
std::string encoderDownloadURL(ModelTier tier, std::string_view baseUrl = kModelDownloadBaseUrl);
// Languages for which the "small" tier is the recommended one.
const std::set<std::string>& smallModelLanguages();
// The same set under the name the settings use: the languages the lightweight model serves.
inline const std::set<std::string>& lightweightLanguageCodes() { return smallModelLanguages(); }

}  // namespace vandrel
