// The developer page offscreen on the settings rig.
#include <gtest/gtest.h>

#include <QApplication>
#include <QToolButton>

#include "settings/DeveloperSettingsView.h"
#include "settings/ModelChoiceRow.h"
#include "settings/ModelLoadingInlineView.h"
#include "support/SettingsRig.h"

using namespace vandrel;

namespace {

class DeveloperSettingsTest : public ::testing::Test {
protected:
    AppState& app() { return *rig.appState; }
    test::SettingsRig rig;
};

}  // namespace

TEST_F(DeveloperSettingsTest, StoredChoiceMarksItsRowOnlyForOfferedTiers) {
    const auto marked = [&](const std::string& stored) {
        rig.world.defaults().set(kDevModelOverride, stored);
        DeveloperSettingsView page(rig.context);
        QString result;
        for (auto tier : DeveloperSettingsView::kTiers)
            if (page.row(tier)->isSelected()) result += DeveloperSettingsView::label(tier);
        return result;
    };
    EXPECT_EQ(marked("small"), "Lightweight");
    EXPECT_EQ(marked("smallQ5"), "");
    EXPECT_EQ(marked("base"), "");
    EXPECT_EQ(marked("Small"), "Accurate");

    // With an unlisted tier chosen, both downloaded rows offer removal.
    rig.world.defaults().set(kDevModelOverride, std::string("base"));
    app().downloadedTiers.set({ModelTier::small, ModelTier::largeTurboQ5});
    DeveloperSettingsView page(rig.context);
    EXPECT_TRUE(page.row(ModelTier::small)->showsRemoveButton());
    EXPECT_TRUE(page.row(ModelTier::largeTurboQ5)->showsRemoveButton());
}

TEST_F(DeveloperSettingsTest, ChoosingLoadsTheTierAndALoadLocksTheOtherRow) {
    DeveloperSettingsView page(rig.context);
    auto* small = page.row(ModelTier::small);
    auto* accurate = page.row(ModelTier::largeTurboQ5);
    EXPECT_EQ(accurate->detail(), "ggml-large-v3-turbo-q5_0.bin");
    EXPECT_TRUE(small->showsDownloadHint());
    small->click();
    EXPECT_EQ(rig.world.defaults().get(kDevModelOverride), "small");
    EXPECT_EQ(app().loadingTier.get(), ModelTier::small);
    EXPECT_TRUE(small->isSelected());
    EXPECT_TRUE(small->showsLoading());
    EXPECT_EQ(small->loadingView()->statusText(), "Loading model\u2026");
    EXPECT_FALSE(small->showsDownloadHint());
    EXPECT_TRUE(accurate->isRowDisabled());
    EXPECT_FALSE(accurate->showsRemoveButton());
    accurate->click();
    EXPECT_EQ(rig.world.defaults().get(kDevModelOverride), "small");
}

TEST_F(DeveloperSettingsTest, RemovingADownloadedTierBringsBackItsDownloadMark) {
    rig.dictation.writeModel(ModelTier::small);
    app().refreshDownloadedTiers();
    DeveloperSettingsView page(rig.context);
    auto* small = page.row(ModelTier::small);
    ASSERT_TRUE(small->showsRemoveButton());
    EXPECT_FALSE(small->showsDownloadHint());
    small->removeButton()->click();
    ASSERT_TRUE(rig.world.loop().runUntil([&] { return small->showsDownloadHint(); }));
    EXPECT_FALSE(std::filesystem::exists(rig.dictation.modelsDir / "ggml-small.bin"));
    EXPECT_FALSE(small->showsRemoveButton());
    EXPECT_EQ(rig.world.defaults().get(kDevModelOverride), "");  // removing chooses nothing
}
