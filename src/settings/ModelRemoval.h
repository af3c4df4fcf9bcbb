#pragma once

#include "speech/ModelTier.h"

namespace vandrel {

struct SettingsContext;

// The remove button of a model row: deletes the downloaded file of `tier` and drops the tier from the
// dictation state's downloaded tiers. The model in memory and the one loading are kept.
void removeDownloadedModel(SettingsContext& context, ModelTier tier);

}  // namespace vandrel
