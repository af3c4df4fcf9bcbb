#include "settings/ModelRemoval.h"

#include "dictation/AppState.h"
#include "settings/ModelChoiceRow.h"
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

ModelRowConnections followModelState(AppState& app, std::function<void()> refresh,
                                     std::function<ModelChoiceRow*(ModelTier)> row) {
    auto redraw = [refresh](const auto&) { refresh(); };
    return {app.loadingTier.changed.connect(redraw), app.downloadedTiers.changed.connect(redraw),
            app.modelDownloadProgress.changed.connect([&app, row = std::move(row)](double progress) {
                if (const auto tier = app.loadingTier.get())
                    if (auto* loading = row(*tier)) loading->setLoading(progress);
            }),
            app.isModelLoaded.changed.connect(redraw)};
}

}  // namespace vandrel
