// The General page offscreen, on the settings rig: what it shows for a given state, what it writes to the
// defaults and what it asks of the dictation state, the hotkey manager and the device service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "base/FileUtil.h"
#include "dictation/DictationDefaults.h"
#include "settings/AppLanguageSection.h"
#include "settings/BehaviourSection.h"
#include "settings/GeneralSettingsView.h"
#include "settings/HotkeyWarningSection.h"
#include "settings/LanguagesSection.h"
#include "settings/MicrophonePickerRow.h"
#include "settings/MicrophoneSection.h"
#include "settings/ModelChoiceRow.h"
#include "settings/ModelErrorSection.h"
#include "settings/ModelLoadingInlineView.h"
#include "settings/PerformanceSection.h"
#include "settings/ShortcutSection.h"
#include "settings/UpdatesSection.h"
#include "support/SettingsRig.h"
#include "ui/Colors.h"
#include "ui/LanguageTag.h"

using namespace vandrel;
namespace fs = std::filesystem;

namespace {

class GeneralSettingsTest : public ::testing::Test {
protected:
    // A real model load leaves a microphone warm-up on a timer: let it end while the scripted server exists.
    void TearDown() override { rig.world.loop().advanceSeconds(600); }

    // A page as the window shows it: built and shown, which runs its appear step.
    std::unique_ptr<GeneralSettingsView> open() {
        auto page = std::make_unique<GeneralSettingsView>(rig.context);
        page->resize(600, 900);
        page->show();
        return page;
    }
    // Chooses the entry with `data` (or at `index`) as the user does.
    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    }
    static QStringList texts(QComboBox* combo) {
        QStringList list;
        for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
        return list;
    }
    void setLanguages(std::vector<std::string> codes) {
        rig.world.defaults().set(kPreferredLanguages, std::move(codes));
    }
    void setMode(const std::string& mode) { rig.world.defaults().set(kPerformanceMode, mode); }
    std::string mode() { return rig.world.defaults().get(kPerformanceMode); }
    AppState& app() { return *rig.appState; }
    // The dictation state's own start-up load (its model is not on the rig's server) has come and gone, so
    // that running the loop later starts nothing of its own.
    void waitForStartUpModelLoad() {
        ASSERT_TRUE(rig.world.loop().runUntil([&] { return !app().isModelLoading.get(); }, std::chrono::seconds(20)));
    }
    // Loads `tier` for real (the tiny model through the fake libwhisper).
    void loadForReal(ModelTier tier) {
        rig.dictation.writeModel(tier);
        app().loadModelTier(tier);
        ASSERT_TRUE(rig.world.loop().runUntil([&] { return !app().isModelLoading.get(); }, std::chrono::seconds(20)));
        ASSERT_EQ(app().loadedTier(), tier);
    }

    test::SettingsRig rig;
};

}  // namespace

TEST_F(GeneralSettingsTest, SectionsAreNumberedAndFollowTheApplicationLanguage) {
    app().errorMessage.set("Failed to load model: nope");
    rig.hotkeyManager.setOption(HotkeyOption::rightCommand);
    auto page = open();
    EXPECT_EQ(page->appLanguageSection()->headerText(), "01 / App Language");
    EXPECT_EQ(page->shortcutSection()->headerText(), "02 / Shortcut");
    EXPECT_EQ(page->performanceSection()->headerText(), "03 / Performance");
    EXPECT_EQ(page->languagesSection()->headerText(), "04 / Languages");
    EXPECT_EQ(page->microphoneSection()->headerText(), "05 / Microphone");
    EXPECT_EQ(page->behaviourSection()->headerText(), "06 / Behavior");
    EXPECT_EQ(page->updatesSection()->headerText(), "07 / Updates");
    // The two conditional sections are there, without a header of their own.
    EXPECT_FALSE(page->hotkeyWarningSection()->isHidden());
    EXPECT_FALSE(page->modelErrorSection()->isHidden());
    EXPECT_EQ(page->hotkeyWarningSection()->headerText(), "");
    EXPECT_FALSE(page->microphoneSection()->footerText().contains("macOS"));
    // A footer is quieter than the row labels above it.
    auto* footer = page->microphoneSection()->findChild<QLabel*>("sectionFooter");
    ASSERT_NE(footer, nullptr);
    EXPECT_EQ(footer->palette().color(footer->foregroundRole()), secondaryColor(QApplication::palette()));
    const QString englishWarning = page->hotkeyWarningSection()->warningText();

    choose(page->appLanguageSection()->picker(), 1);
    EXPECT_EQ(LocalizationManager::shared().language(), "de");
    EXPECT_EQ(page->appLanguageSection()->headerText(), "01 / App-Sprache");
    EXPECT_EQ(page->behaviourSection()->headerText(), "06 / Verhalten");
    EXPECT_EQ(page->behaviourSection()->playSoundsSwitch()->text(), "Töne abspielen");
    EXPECT_EQ(page->performanceSection()->footerText().left(5), "Leich");
    EXPECT_NE(page->hotkeyWarningSection()->warningText(), englishWarning);
    EXPECT_FALSE(page->hotkeyWarningSection()->warningText().isEmpty());
    EXPECT_EQ(page->appLanguageSection()->picker()->currentIndex(), 1);
}

TEST_F(GeneralSettingsTest, HotkeyPickerListsSixteenChoicesUnderTheirGroupsAndSnapsBackWhenRefused) {
    auto page = open();
    auto* section = page->shortcutSection();
    QComboBox* picker = section->picker();
    QStringList options, headings, warned;
    for (int i = 0; i < picker->count(); ++i) {
        if (auto o = section->optionAt(i)) {
            options << picker->itemText(i);
            if (picker->itemText(i).endsWith(QStringLiteral("  \u26A0\uFE0F"))) warned << picker->itemText(i);
        } else {
            headings << picker->itemText(i);
            auto* model = qobject_cast<QStandardItemModel*>(picker->model());
            EXPECT_FALSE(model->item(i)->flags() & Qt::ItemIsSelectable) << i;
        }
    }
    EXPECT_EQ(options.size(), 16);
    EXPECT_EQ(options.first(), "None");
    EXPECT_EQ(options.last(), "Custom\u2026");
    EXPECT_EQ(headings, (QStringList{"Double-tap", "Hold / Tap", "Key Combination"}));
    EXPECT_EQ(warned,
              (QStringList{"Right Super  \u26A0\uFE0F", "Fn (unavailable)  \u26A0\uFE0F", "Alt + Space  \u26A0\uFE0F",
                           "Ctrl + Space  \u26A0\uFE0F", "Super + Shift + Space  \u26A0\uFE0F"}));
    EXPECT_EQ(picker->currentText(), "Right Alt");  // the manager's default
    EXPECT_EQ(section->footerText(), "Hold the key to record. Tap briefly for hands-free mode.");
    EXPECT_TRUE(page->hotkeyWarningSection()->isHidden());

    choose(picker, picker->findData(static_cast<int>(HotkeyOption::rightCommand)));
    EXPECT_EQ(rig.hotkeyManager.currentOption.get(), HotkeyOption::rightCommand);
    EXPECT_EQ(rig.world.defaults().get(kHotkeyOption), "rightCommand");
    EXPECT_FALSE(page->hotkeyWarningSection()->isHidden());
    // A key this session never sees: marked, and chosen anyway it says why in place of the how-to.
    const int fn = picker->findData(static_cast<int>(HotkeyOption::fn));
    const QString fnReason = "The Fn key cannot be detected on Linux. Choose another key.";
    EXPECT_EQ(picker->itemData(fn, Qt::ToolTipRole).toString(), fnReason);
    EXPECT_FALSE(picker->itemData(fn - 1, Qt::ToolTipRole).isValid());
    choose(picker, fn);
    EXPECT_EQ(section->footerText(), fnReason);
    EXPECT_TRUE(page->hotkeyWarningSection()->isHidden());  // the reason says it; the warning would again
    choose(picker, picker->findData(static_cast<int>(HotkeyOption::doubleTapLeftOption)));
    EXPECT_TRUE(page->hotkeyWarningSection()->isHidden());
    EXPECT_EQ(section->footerText(), "Tap the key twice quickly to start recording. Tap twice again to stop.");
    choose(picker, picker->findData(static_cast<int>(HotkeyOption::ctrlShiftSpace)));
    EXPECT_EQ(section->footerText(), "Hold the shortcut to record, release to transcribe and paste.");
    choose(picker, picker->findData(static_cast<int>(HotkeyOption::none)));
    EXPECT_FALSE(section->hasFooter());

    // During a recording the manager keeps its option; the picker shows that one again.
    rig.hotkeyManager.setAppState(rig.appState);
    app().recordingState.set(RecordingState::recording);
    choose(picker, picker->findData(static_cast<int>(HotkeyOption::rightShift)));
    EXPECT_EQ(rig.hotkeyManager.currentOption.get(), HotkeyOption::none);
    EXPECT_EQ(picker->currentData().toInt(), static_cast<int>(HotkeyOption::none));
    app().recordingState.set(RecordingState::idle);
}

// Down the hotkey picker with the keyboard, in English and, after choosing German the same way, in German:
// the Fn key, which cannot work here, is explained in one sentence, and the picker takes the width of the
// labels of the language it shows.
TEST_F(GeneralSettingsTest, FnIsExplainedOnceAndThePickerFitsItsLabelsInEitherLanguage) {
    auto page = open();
    QComboBox* picker = page->shortcutSection()->picker();
    for (const char* language : {"en", "de"}) {
        SCOPED_TRACE(language);
        if (LocalizationManager::shared().language() != language) {
            page->appLanguageSection()->picker()->setFocus();
            QTest::keyClick(page->windowHandle(), Qt::Key_Down);
            ASSERT_EQ(LocalizationManager::shared().language(), language);
        }
        rig.hotkeyManager.setOption(HotkeyOption::none);
        picker->setFocus();
        for (int i = 0; i < 20 && rig.hotkeyManager.currentOption.get() != HotkeyOption::custom; ++i) {
            QTest::keyClick(page->windowHandle(), Qt::Key_Down);
            if (rig.hotkeyManager.currentOption.get() != HotkeyOption::fn) continue;
            int sentences = 0;
            for (auto* label : page->findChildren<QLabel*>())
                if (label->isVisibleTo(page.get()) && label->text().contains("Fn")) ++sentences;
            EXPECT_EQ(sentences, 1);
        }
        EXPECT_EQ(rig.hotkeyManager.currentOption.get(), HotkeyOption::custom);
        QApplication::processEvents();
        for (int i = 0; i < picker->count(); ++i)
            EXPECT_GE(picker->width(), picker->fontMetrics().horizontalAdvance(picker->itemText(i)))
                << picker->itemText(i).toStdString();
    }
}

// The desktop refuses its binding while the page is open: the combinations still fire in X11 windows,
// and the footer says so after the how-to, for a fixed and a recorded combination, never for a lone key.
TEST_F(GeneralSettingsTest, CombinationsServedOnlyInX11WindowsAreNotedNotMarkedUnavailable) {
    auto page = open();
    auto* section = page->shortcutSection();
    rig.hotkeyManager.setOption(HotkeyOption::ctrlShiftSpace);
    const QString howTo = "Hold the shortcut to record, release to transcribe and paste.";
    EXPECT_EQ(section->footerText(), howTo);

    rig.hotkeyAvailability.setCombinationNote("hotkey.note.x11WindowsOnly");
    const QString note =
        QString::fromStdString(LocalizationManager::shared().bundle()->localizedString("hotkey.note.x11WindowsOnly"));
    EXPECT_TRUE(note.contains("only while an X11 window has the focus")) << note.toStdString();
    EXPECT_EQ(section->footerText(), howTo + "\n" + note);
    EXPECT_FALSE(texts(section->picker()).join(' ').contains("Ctrl + Shift + Space (unavailable)"));
    rig.hotkeyManager.setOption(HotkeyOption::custom);
    EXPECT_EQ(section->footerText(), howTo + "\n" + note);
    rig.hotkeyManager.setOption(HotkeyOption::rightShift);
    EXPECT_EQ(section->footerText(), "Hold the key to record. Tap briefly for hands-free mode.");

    rig.hotkeyManager.setOption(HotkeyOption::cmdShiftSpace);
    rig.hotkeyAvailability.setCombinationNote(std::nullopt);
    EXPECT_EQ(section->footerText(), howTo);
}

TEST_F(GeneralSettingsTest, CustomChoiceShowsTheRecorderAndRegistersEachNewCombination) {
    auto page = open();
    auto* section = page->shortcutSection();
    EXPECT_EQ(section->customRow(), nullptr);
    choose(section->picker(), section->picker()->findData(static_cast<int>(HotkeyOption::custom)));
    ASSERT_NE(section->customRow(), nullptr);
    EXPECT_EQ(section->footerText(), "Hold the shortcut to record, release to transcribe and paste.");
    EXPECT_FALSE(rig.hotkeyManager.isConfigured.get());  // nothing recorded yet

    KeyboardShortcuts::setShortcut(KeyboardShortcuts::Shortcut(49, 0x1000), KeyboardShortcuts::Name::pushToTalk());
    EXPECT_TRUE(rig.hotkeyManager.isConfigured.get());
    KeyboardShortcuts::setShortcut(std::nullopt, KeyboardShortcuts::Name::pushToTalk());
    EXPECT_FALSE(rig.hotkeyManager.isConfigured.get());

    choose(section->picker(), section->picker()->findData(static_cast<int>(HotkeyOption::none)));
    EXPECT_EQ(section->customRow(), nullptr);
}

TEST_F(GeneralSettingsTest, PerformanceRowsFollowTheLanguagesAndTheLoad) {
    setLanguages({"en", "pl"});
    auto page = open();
    auto* fast = page->performanceSection()->row(ModelTier::small);
    auto* standard = page->performanceSection()->row(ModelTier::largeTurboQ5);
    EXPECT_EQ(standard->title(), "Accurate");
    EXPECT_EQ(standard->toolTip(), "ggml-large-v3-turbo-q5_0.bin");
    EXPECT_TRUE(fast->isRowDisabled());
    EXPECT_TRUE(fast->titleIsTertiary());
    EXPECT_EQ(fast->note(), "(EN, DE, FR, ES, IT only)");
    fast->click();
    EXPECT_EQ(mode(), "standard");  // a disabled row does nothing
    app().downloadedTiers.set({ModelTier::small});
    ASSERT_TRUE(fast->showsRemoveButton());
    EXPECT_FALSE(fast->removeButton()->isEnabled());  // nor does its remove button

    page->removeLanguage("pl");
    EXPECT_EQ(app().loadingTier.get(), ModelTier::largeTurboQ5);  // the reload after every change
    app().loadingTier.set(std::nullopt);
    EXPECT_FALSE(fast->isRowDisabled());
    EXPECT_EQ(fast->note(), "");

    // A download of the accurate model: progress in its row, the other row disabled, nothing to remove.
    app().downloadedTiers.set({ModelTier::small});
    app().loadingTier.set(ModelTier::largeTurboQ5);
    app().modelDownloadProgress.set(0.425);
    EXPECT_TRUE(standard->showsLoading());
    EXPECT_EQ(standard->loadingView()->statusText(), "Downloading model\u2026 42%");
    EXPECT_TRUE(standard->loadingView()->showsBar());
    EXPECT_FALSE(standard->showsDownloadHint());
    EXPECT_TRUE(fast->isRowDisabled());
    EXPECT_FALSE(fast->showsRemoveButton());
    EXPECT_FALSE(standard->showsRemoveButton());

    app().loadingTier.set(std::nullopt);
    app().downloadedTiers.set({ModelTier::small, ModelTier::largeTurboQ5});
    EXPECT_TRUE(standard->isSelected());
    EXPECT_FALSE(standard->showsRemoveButton());  // never the selected row
    EXPECT_TRUE(fast->showsRemoveButton());
    EXPECT_TRUE(fast->removeButton()->isEnabled());
    EXPECT_EQ(fast->detail(), "Best for English, German, French, Spanish, or Italian");
}

TEST_F(GeneralSettingsTest, ChoosingAModeStoresItAndLoadsItsModelUnlessADictationRuns) {
    ASSERT_NO_FATAL_FAILURE(waitForStartUpModelLoad());
    auto page = open();
    auto* fast = page->performanceSection()->row(ModelTier::small);
    EXPECT_TRUE(fast->showsDownloadHint());

    app().recordingState.set(RecordingState::recording);
    fast->click();
    EXPECT_EQ(mode(), "standard");  // refused: the page keeps showing the model the application has
    EXPECT_FALSE(fast->isSelected());
    EXPECT_EQ(app().loadingTier.get(), std::nullopt);
    EXPECT_EQ(page->performanceSection()->refusalText(),
              "Not changed during a dictation. Try again once it has finished.");

    app().recordingState.set(RecordingState::idle);
    rig.world.loop().runPending();
    EXPECT_EQ(page->performanceSection()->refusalText(), "");  // no longer true, no longer said
    fast->click();
    EXPECT_EQ(mode(), "fast");
    EXPECT_TRUE(fast->isSelected());
    EXPECT_EQ(app().loadingTier.get(), ModelTier::small);
    EXPECT_TRUE(fast->showsLoading());
    EXPECT_FALSE(fast->showsDownloadHint());
}

TEST_F(GeneralSettingsTest, TheModelInMemoryIsNeverOfferedAndRemovingTheOtherLeavesTheDictationAlone) {
    // The developer page can load a tier the mode does not name.
    ASSERT_NO_FATAL_FAILURE(loadForReal(ModelTier::small));
    rig.dictation.writeModel(ModelTier::largeTurboQ5);
    app().refreshDownloadedTiers();
    setMode("fast");
    auto page = open();
    auto* fast = page->performanceSection()->row(ModelTier::small);
    auto* standard = page->performanceSection()->row(ModelTier::largeTurboQ5);
    setMode("standard");
    EXPECT_FALSE(fast->showsRemoveButton());
    EXPECT_FALSE(fast->showsDownloadHint());

    // With the mode's own model in memory and a dictation running, the other one goes without a stir.
    setMode("fast");
    EXPECT_TRUE(standard->showsRemoveButton());
    app().recordingState.set(RecordingState::recording);
    standard->removeButton()->click();
    EXPECT_EQ(mode(), "fast");  // the row itself was not chosen
    ASSERT_TRUE(rig.world.loop().runUntil([&] { return !app().downloadedTiers.get().count(ModelTier::largeTurboQ5); }));
    EXPECT_FALSE(fs::exists(rig.dictation.modelsDir / "ggml-large-v3-turbo-q5_0.bin"));
    EXPECT_TRUE(fs::exists(rig.dictation.modelsDir / "ggml-small.bin"));
    EXPECT_EQ(app().recordingState.get(), RecordingState::recording);
    EXPECT_TRUE(app().isModelLoaded.get());
    EXPECT_EQ(app().loadedTier(), ModelTier::small);
    EXPECT_TRUE(standard->showsDownloadHint());
    EXPECT_FALSE(standard->showsRemoveButton());
    app().recordingState.set(RecordingState::idle);
}

TEST_F(GeneralSettingsTest, LightweightFallsBackToAccurateOnAppearAndAfterALanguageChange) {
    setMode("fast");
    setLanguages({"en", "de"});
    open();
    EXPECT_EQ(mode(), "fast");
    EXPECT_EQ(app().loadingTier.get(), std::nullopt);

    setLanguages({"en", "pl"});
    open();
    EXPECT_EQ(mode(), "standard");
    EXPECT_EQ(app().loadingTier.get(), ModelTier::largeTurboQ5);
}

TEST_F(GeneralSettingsTest, AFallbackDeferredByALoadRunsWhenTheLoadEnds) {
    ASSERT_NO_FATAL_FAILURE(waitForStartUpModelLoad());
    setMode("fast");
    setLanguages({"en", "pl"});  // stored elsewhere, e.g. by the guide
    app().isModelLoading.set(true);
    app().loadingTier.set(ModelTier::small);
    auto page = open();
    EXPECT_EQ(mode(), "fast");  // the application takes no second load now

    app().loadingTier.set(std::nullopt);
    app().isModelLoading.set(false);
    EXPECT_EQ(mode(), "fast");  // not from inside the dictation state's own change
    // The load it starts fails at once here (the test server has no model), maybe within the same turn.
    std::vector<std::optional<ModelTier>> loads;
    auto watch =
        app().loadingTier.changed.connect([&](const std::optional<ModelTier>& tier) { loads.push_back(tier); });
    rig.world.loop().runPending();
    EXPECT_EQ(mode(), "standard");
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.front(), ModelTier::largeTurboQ5);
    EXPECT_TRUE(page->performanceSection()->row(ModelTier::largeTurboQ5)->isSelected());
}

TEST_F(GeneralSettingsTest, LanguageChangesInLightweightModeReloadOrSwitchAndWaitForTheDictation) {
    ASSERT_NO_FATAL_FAILURE(waitForStartUpModelLoad());
    setMode("fast");
    auto page = open();
    page->addLanguage("it");
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"en", "it"}));
    EXPECT_EQ(mode(), "fast");
    EXPECT_EQ(app().loadingTier.get(), ModelTier::small);  // only the current model again
    app().isModelLoading.set(false);
    app().loadingTier.set(std::nullopt);

    // While a dictation runs or a model loads, a language that needs the other model is refused as a
    // whole, and the section says why.
    app().recordingState.set(RecordingState::recording);
    page->addLanguage("pl");
    EXPECT_EQ(page->selectedLanguages(), (std::vector<std::string>{"en", "it"}));
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"en", "it"}));
    EXPECT_EQ(mode(), "fast");
    EXPECT_EQ(page->languagesSection()->refusalText(),
              "Not changed during a dictation. Try again once it has finished.");
    app().recordingState.set(RecordingState::idle);
    app().isModelLoading.set(true);
    page->addLanguage("pl");
    EXPECT_EQ(page->selectedLanguages(), (std::vector<std::string>{"en", "it"}));
    EXPECT_EQ(page->languagesSection()->refusalText(), "Not changed while a model loads. Try again once it's ready.");
    app().isModelLoading.set(false);
    rig.world.loop().runPending();
    EXPECT_EQ(page->languagesSection()->refusalText(), "");

    page->addLanguage("pl");
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"en", "it", "pl"}));
    EXPECT_EQ(mode(), "standard");
    EXPECT_EQ(app().loadingTier.get(), ModelTier::largeTurboQ5);
}

TEST_F(GeneralSettingsTest, ChipsAndTheAddMenu) {
    auto page = open();
    auto* section = page->languagesSection();
    auto chips = section->chips();
    ASSERT_EQ(chips.size(), 1);
    EXPECT_EQ(chips[0]->name(), "English");
    EXPECT_TRUE(chips[0]->isPrimary());
    EXPECT_FALSE(chips[0]->canRemove());
    EXPECT_EQ(section->footerText(), "Select 1\u20133 languages. Vandrel auto-detects which one you're speaking.");
    ASSERT_FALSE(section->addRow()->isHidden());
    QStringList offered = texts(section->addMenu());
    EXPECT_EQ(offered.size(), 40);  // "Choose..." and the 39 not chosen
    EXPECT_EQ(offered.first(), "Choose...");
    EXPECT_FALSE(offered.contains("English"));

    choose(section->addMenu(), section->addMenu()->findData(QStringLiteral("de")));
    choose(section->addMenu(), section->addMenu()->findData(QStringLiteral("fr")));
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"en", "de", "fr"}));
    EXPECT_TRUE(section->addRow()->isHidden());
    EXPECT_EQ(section->footerText().left(32), "Click a language to set it as pr");

    int writes = 0;
    auto counter = rig.world.defaults().changed.connect([&](const std::string&) { ++writes; });
    page->makePrimary("en");  // already primary: nothing is stored
    EXPECT_EQ(writes, 0);
    page->makePrimary("fr");
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"fr", "en", "de"}));
    EXPECT_EQ(section->chips()[0]->name(), "French");
    page->removeLanguage("en");
    EXPECT_EQ(rig.world.defaults().get(kPreferredLanguages), (StringList{"fr", "de"}));

    // German names in German, and only the primary language counts in the legacy low-memory mode.
    LocalizationManager::shared().setLanguage("de");
    setMode("lowMemory");
    chips = section->chips();
    ASSERT_EQ(chips.size(), 2);
    EXPECT_EQ(chips[0]->name(), "Französisch");
    EXPECT_TRUE(chips[0]->isActive());
    EXPECT_FALSE(chips[1]->isActive());
    EXPECT_TRUE(section->addRow()->isHidden());
}

TEST_F(GeneralSettingsTest, MicrophonePickerListsDevicesAsTheServiceReportsThem) {
    auto& audio = *rig.dictation.audio;
    audio.sourceList = {};
    audio.sourcesChanged.emit();
    auto page = open();
    auto* row = page->microphoneSection()->pickerRow();
    EXPECT_EQ(texts(row->picker()), QStringList{"Follow System Default"});

    audio.sourceList = {{1, "usb-a", "USB Mic", 1, false}, {2, "usb-b", "USB Mic", 1, false}};
    audio.sourcesChanged.emit();
    EXPECT_EQ(row->picker()->count(), 4);  // follow, separator, both devices of one name
    EXPECT_EQ(row->picker()->itemData(3).toString(), "usb-b");
    choose(row->picker(), 3);
    EXPECT_EQ(rig.dictation.devices->preferredUID(), "usb-b");
    EXPECT_EQ(row->picker()->currentIndex(), 3);

    // Unplugged: the pin stays, no entry is chosen and the warning says what happens meanwhile; plugged
    // back in, the device is chosen again.
    audio.sourceList = {{1, "usb-a", "USB Mic", 1, false}};
    audio.sourcesChanged.emit();
    EXPECT_TRUE(row->showsMissingWarning());
    EXPECT_EQ(row->picker()->currentIndex(), -1);
    EXPECT_EQ(rig.dictation.devices->preferredUID(), "usb-b");
    audio.sourceList = {{1, "usb-a", "USB Mic", 1, false}, {5, "usb-b", "USB Mic", 1, false}};
    audio.sourcesChanged.emit();
    EXPECT_FALSE(row->showsMissingWarning());
    EXPECT_EQ(row->picker()->currentIndex(), 3);

    choose(row->picker(), 2);
    choose(row->picker(), 0);
    EXPECT_EQ(rig.dictation.devices->preferredUID(), "");
}

TEST_F(GeneralSettingsTest, SwitchesWriteTheirKeysAndTheEscapeHintNeedsBoth) {
    auto page = open();
    auto* behaviour = page->behaviourSection();
    for (auto* box :
         {behaviour->playSoundsSwitch(), behaviour->restoreClipboardSwitch(), behaviour->cancelWithEscapeSwitch()})
        EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
    EXPECT_FALSE(behaviour->launchAtLoginSwitch()->isChecked());
    behaviour->playSoundsSwitch()->click();
    EXPECT_EQ(rig.world.defaults().stored(kPlaySounds), false);
    behaviour->restoreClipboardSwitch()->click();
    EXPECT_EQ(rig.world.defaults().stored(kRestoreClipboard), false);

    EXPECT_FALSE(behaviour->showsEscapeHint());
    app().escapeTapFailure.set(EscapeTapFailure::noDisplay);
    app().escapeCancelNeedsAccessibility.set(true);
    EXPECT_TRUE(behaviour->showsEscapeHint());
    EXPECT_FALSE(behaviour->escapeHintText().contains("Accessibility"));
    EXPECT_TRUE(behaviour->escapeHintText().contains("log into an X11 session"));
    // Telling an X11 user to log into X11 would be no help: the remedy is the program holding Escape.
    app().escapeTapFailure.set(EscapeTapFailure::heldByAnotherProgram);
    EXPECT_TRUE(behaviour->escapeHintText().contains("another program holds the Escape key"));
    EXPECT_FALSE(behaviour->escapeHintText().contains("X11 session"));
    // In a Wayland session: the ways that work without the keyboards, and what reading them would grant.
    app().escapeTapFailure.set(EscapeTapFailure::keyboardsNotReadable);
    EXPECT_TRUE(behaviour->escapeHintText().contains("vandrel --cancel"));
    EXPECT_TRUE(behaviour->escapeHintText().contains("input group"));
    app().escapeTapFailure.set(EscapeTapFailure::onlyX11Windows);
    EXPECT_TRUE(behaviour->escapeHintText().contains("while an X11 window or a Vandrel window is focused"));
    behaviour->cancelWithEscapeSwitch()->click();
    EXPECT_EQ(rig.world.defaults().stored(kCancelWithEscape), false);
    EXPECT_FALSE(behaviour->showsEscapeHint());
}

TEST_F(GeneralSettingsTest, LaunchAtLoginWritesTheAutostartEntryAndFallsBackSilentlyWhenRefused) {
    const fs::path entry = rig.loginItems.entryFile();
    {
        auto page = open();
        auto* box = page->behaviourSection()->launchAtLoginSwitch();
        box->click();
        EXPECT_TRUE(box->isChecked());
        std::string text;
        ASSERT_TRUE(readFile(entry, text));
        EXPECT_NE(text.find("Exec=\"/opt/Vandrel Test/bin/vandrel\"\n"), std::string::npos) << text;
    }
    // The switch reads the entry when the page appears; off removes it.
    {
        auto page = open();
        auto* box = page->behaviourSection()->launchAtLoginSwitch();
        EXPECT_TRUE(box->isChecked());
        box->click();
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(fs::exists(entry));
    }
    // An entry the desktop switched off reads as off and is left as the user set it.
    const std::string switchedOff = "[Desktop Entry]\nType=Application\nExec=/usr/bin/vandrel\nHidden=true\n";
    ASSERT_TRUE(writeFileAtomically(entry, switchedOff));
    {
        auto page = open();
        EXPECT_FALSE(page->behaviourSection()->launchAtLoginSwitch()->isChecked());
        std::string text;
        ASSERT_TRUE(readFile(entry, text));
        EXPECT_EQ(text, switchedOff);
    }
    // A file where the autostart folder belongs: the desktop refuses, the switch goes back, once.
    fs::create_directories(entry.parent_path().parent_path());
    fs::remove_all(entry.parent_path());
    { std::ofstream(entry.parent_path()) << "not a folder"; }
    auto page = open();
    auto* box = page->behaviourSection()->launchAtLoginSwitch();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(page->launchAtLogin());
    EXPECT_TRUE(fs::is_regular_file(entry.parent_path()));
}

TEST_F(GeneralSettingsTest, ModelErrorShowsOnceNoLoadRunsAndRetryLoadsTheModeModel) {
    app().isModelLoading.set(true);
    app().errorMessage.set("Failed to load model: gone");
    auto page = open();
    auto* error = page->modelErrorSection();
    EXPECT_TRUE(error->isHidden());
    app().isModelLoading.set(false);
    EXPECT_FALSE(error->isHidden());
    EXPECT_EQ(error->errorText(), "Failed to load model: gone");
    error->retryButton()->click();
    EXPECT_EQ(app().loadingTier.get(), ModelTier::largeTurboQ5);
    EXPECT_TRUE(error->isHidden());  // the new load cleared the message

    // The update check is usable exactly while the updater can start one.
    auto* check = page->updatesSection()->checkButton();
    rig.updaterService.canCheckForUpdates.set(false);
    EXPECT_FALSE(check->isEnabled());
    rig.updaterService.canCheckForUpdates.set(true);
    EXPECT_TRUE(check->isEnabled());
}

TEST(ModelLoadingInlineView, DownloadingOnlyStrictlyBetweenNoneAndAll) {
    EXPECT_EQ(ModelLoadingInlineView::statusFor(0), "Loading model\u2026");
    EXPECT_EQ(ModelLoadingInlineView::statusFor(1), "Loading model\u2026");
    EXPECT_EQ(ModelLoadingInlineView::statusFor(-0.5), "Loading model\u2026");
    EXPECT_EQ(ModelLoadingInlineView::statusFor(1.5), "Loading model\u2026");
    EXPECT_EQ(ModelLoadingInlineView::statusFor(0.999), "Downloading model\u2026 99%");
    EXPECT_EQ(ModelLoadingInlineView::statusFor(0.004), "Downloading model\u2026 0%");
    ModelLoadingInlineView view;
    view.setProgress(0.004);
    EXPECT_TRUE(view.showsBar());
    view.setProgress(1.0);
    EXPECT_FALSE(view.showsBar());
}
