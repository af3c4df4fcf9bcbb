#include "settings/ModelRemoval.h"

#include "dictation/AppState.h"
#include "settings/SettingsContext.h"
#include "speech/ModelManager.h"

namespace vandrel {

void removeDownloadedModel(SettingsContext& context, ModelTier tier) {
    auto& app = context.appState;
    // The rows offer neither the model in memory nor the one loading, and a late click must not pull a
    // file from under them.
    if (app.loadedTier() == tier || app.loadingTier.get() == tier) return;
    // Runs to the end even when the page is gone; the state outlives every settings window.
    context.models.deleteModel(tier, [&app, tier] {
        auto tiers = app.downloadedTiers.get();
        tiers.erase(tier);
        app.downloadedTiers.set(std::move(tiers));
    });
}

}  // namespace vandrel
