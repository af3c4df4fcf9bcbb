// The Lexicons page offscreen on the settings rig: its sections, warnings, installs and choices.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "correction/CorrectionDefaults.h"
#include "dictation/DictationDefaults.h"
#include "settings/AvailableLexiconRow.h"
#include "settings/InstalledLexiconRow.h"
#include "settings/LexiconDetails.h"
#include "settings/LexiconLanguagePill.h"
#include "settings/LexiconLanguageWarning.h"
#include "settings/LexiconMetadataBlock.h"
#include "settings/LexiconsSettingsView.h"
#include "settings/LibraryNoneRow.h"
#include "support/SettingsRig.h"

using namespace vandrel;

namespace {

class LexiconsSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<LexiconsSettingsView> open() {
        auto page = std::make_unique<LexiconsSettingsView>(rig.context);
        page->resize(640, 900);
        page->show();
        return page;
    }
    static QStringList keys(const QList<AvailableLexiconRow*>& rows) {
        QStringList list;
        for (auto* r : rows) list << QString::fromStdString(r->descriptor().key);
        return list;
    }
    static QStringList keys(const QList<InstalledLexiconRow*>& rows) {
        QStringList list;
        for (auto* r : rows) list << QString::fromStdString(r->descriptor().key);
        return list;
    }
    static bool warns(LexiconDetails* details) { return details->warning() != nullptr; }
    // Lets rows that were replaced from their own click go.
    static void runDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    std::string active() { return rig.world.defaults().get(kActiveDictionary); }

    test::SettingsRig rig;
};

}  // namespace

TEST_F(LexiconsSettingsTest, CatalogueSplitsIntoLibraryAndAvailableWithWarningsForOtherLanguages) {
    auto page = open();
    EXPECT_TRUE(page->noneRow()->isActive());
    EXPECT_TRUE(page->installedRows().isEmpty());
    const auto available = page->availableRows();
    EXPECT_EQ(keys(available), (QStringList{"medical_de_v7", "medical_it_v1", "software_en_v1"}));
    // No languages stored: English only, so the two medical lexicons warn.
    EXPECT_EQ(page->activeLanguageCodes(), (std::set<std::string>{"en"}));
    EXPECT_TRUE(warns(available[0]->details()));
    EXPECT_EQ(available[0]->details()->warning()->message(),
              "Only corrects dictations in German. Add that language to your dictation languages in General to use "
              "it.");
    EXPECT_TRUE(available[0]->details()->pill()->showsBeta());
    EXPECT_FALSE(warns(available[2]->details()));
    EXPECT_FALSE(available[2]->details()->pill()->showsBeta());

    // New dictation languages from elsewhere move the warnings without reopening the page.
    rig.world.defaults().set(kPreferredLanguages, StringList{"de", "it"});
    const auto again = page->availableRows();
    ASSERT_EQ(again.size(), 3);
    EXPECT_FALSE(warns(again[0]->details()));
    EXPECT_FALSE(warns(again[1]->details()));
    EXPECT_TRUE(warns(again[2]->details()));

    for (const auto& d : lexiconCatalog()) rig.lexicons.install(d.key), rig.world.loop().advanceSeconds(2);
    EXPECT_EQ(page->availableSection(), nullptr);
    EXPECT_EQ(page->installedRows().size(), 3);
}

TEST_F(LexiconsSettingsTest, AnInstallShowsItsProgressOnItsOwnRowAndEndsInTheLibraryUnchosen) {
    auto page = open();
    auto rows = page->availableRows();
    rows[1]->getButton()->click();
    rig.world.loop().advance(std::chrono::milliseconds(60 * 10));
    rows = page->availableRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_FALSE(rows[0]->showsProgress());
    EXPECT_TRUE(rows[1]->showsProgress());
    EXPECT_EQ(rows[1]->percentText(), "40%");
    EXPECT_FALSE(rows[2]->showsProgress());
    EXPECT_FALSE(rows[2]->getButton()->isHidden());
    rows[2]->getButton()->click();  // one install at a time: ignored
    rig.world.loop().advanceSeconds(2);
    runDeferredDeletes();
    EXPECT_EQ(keys(page->installedRows()), QStringList{"medical_it_v1"});
    EXPECT_EQ(keys(page->availableRows()), (QStringList{"medical_de_v7", "software_en_v1"}));
    EXPECT_TRUE(page->noneRow()->isActive());
    EXPECT_EQ(active(), "");
}

TEST_F(LexiconsSettingsTest, ChoosingWritesTheKeyAndRemovingTheActiveOneFallsBackToNone) {
    rig.lexicons.install("software_en_v1");
    rig.lexicons.install("medical_de_v7");
    rig.world.loop().advanceSeconds(4);
    rig.lexicons.install("medical_de_v7");
    rig.world.loop().advanceSeconds(4);
    auto page = open();
    ASSERT_EQ(keys(page->installedRows()), (QStringList{"medical_de_v7", "software_en_v1"}));
    // A lexicon for a language the user does not dictate in can still be chosen; its warning stays.
    page->installedRows()[0]->click();
    runDeferredDeletes();
    EXPECT_EQ(active(), "medical_de_v7");
    auto* chosen = page->installedRows()[0];
    EXPECT_TRUE(chosen->isActive());
    EXPECT_TRUE(chosen->showsActiveChip());
    EXPECT_TRUE(chosen->details()->warning());
    EXPECT_FALSE(page->noneRow()->isActive());

    chosen->removeButton()->click();
    runDeferredDeletes();
    EXPECT_EQ(active(), "");
    EXPECT_TRUE(page->noneRow()->isActive());
    EXPECT_EQ(keys(page->availableRows()), (QStringList{"medical_de_v7", "medical_it_v1"}));

    page->installedRows()[0]->click();
    runDeferredDeletes();
    EXPECT_EQ(active(), "software_en_v1");
    std::unique_ptr<QMenu> menu(page->installedRows()[0]->makeContextMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Remove");
    menu->actions()[0]->trigger();
    runDeferredDeletes();
    EXPECT_EQ(active(), "");
    EXPECT_TRUE(page->installedRows().isEmpty());
}

TEST(LexiconMetadataBlock, NumbersAndSizesFollowTheLocale) {
    test::TestWorld world;
    LocalizationManager::shared().setLanguage("en");
    SettingsText text(LocalizationManager::shared());
    const auto medical = *LexiconDescriptor::descriptorForKey("medical_de_v7");
    LexiconMetadataBlock en(text, QLocale(QStringLiteral("en")), medical, nullptr);
    EXPECT_EQ(en.countsLine(), "180,000 terms \u00B7 15.3 MB");
    EXPECT_EQ(en.sourcesLine(), "ICD-10-GM, ABDA Arzneimittel, German MeSH");
    LocalizationManager::shared().setLanguage("de");
    LexiconMetadataBlock de(text, QLocale(QStringLiteral("de")), medical, nullptr);
    EXPECT_EQ(de.countsLine(), "180.000 Begriffe \u00B7 15,3 MB");
    EXPECT_EQ(LexiconMetadataBlock::byteCount(115000, QLocale(QStringLiteral("en"))), "112 KB");
    EXPECT_EQ(LexiconMetadataBlock::byteCount(1024 * 1024, QLocale(QStringLiteral("en"))), "1.0 MB");
    LocalizationManager::shared().setLanguage("en");
}
