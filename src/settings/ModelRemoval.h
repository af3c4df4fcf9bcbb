#pragma once

#include <array>
#include <functional>

#include "base/Signal.h"
#include "speech/ModelTier.h"

namespace vandrel {

class AppState;
class ModelChoiceRow;
struct SettingsContext;

// What a list of model rows follows in the dictation state: a change of the loading tier, the downloaded
// tiers or the model in memory redraws the list (`refresh`); a download tick, many a second, moves only
// the loading row's bar (`row` finds it). Held for as long as the rows live.
using ModelRowConnections = std::array<Connection, 4>;
ModelRowConnections followModelState(AppState& app, std::function<void()> refresh,
                                     std::function<ModelChoiceRow*(ModelTier)> row);

// The remove button of a model row: deletes the downloaded file of `tier` and drops the tier from the
// dictation state's downloaded tiers. The model in memory and the one loading are kept.
void removeDownloadedModel(SettingsContext& context, ModelTier tier);

}  // namespace vandrel
