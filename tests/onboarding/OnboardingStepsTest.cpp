// The steps through what they show, store and call: the languages and the trigger, the voice pack, and
// the final page with its finish.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "app/SessionHotkeyAvailability.h"
#include "base/LocalizationManager.h"
#include "dictation/DictationDefaults.h"
#include "onboarding/FinalStep.h"
#include "onboarding/LanguagesHotkeyStep.h"
#include "onboarding/OnboardingLanguageTag.h"
#include "onboarding/OnboardingRig.h"
#include "onboarding/VoicePackStep.h"
#include "ui/Colors.h"
#include "ui/ComboGroupHeading.h"
#include "ui/KickerLabel.h"
#include "ui/StatusChip.h"
#include "ui/SymbolButton.h"
#include "ui/WrappingText.h"

using namespace vandrel;

namespace {
// The texts as the application language has them, which the views show.
const Bundle& appBundle() { return *LocalizationManager::shared().bundle(); }
}  // namespace

namespace {

class OnboardingStepsTest : public test::OnboardingFixture {
protected:
    OnboardingView& openAt(int step) {
        permissions.microphone = true;
        permissions.accessibilityState = Permissions::Accessibility::granted;
        auto& v = open();
        for (int i = 0; i < step; ++i) v.goToNextStep();
        world.loop().runPending();
        return v;
    }
    LanguagesHotkeyStep* languages() const { return qobject_cast<LanguagesHotkeyStep*>(view->stepView()); }
    std::vector<std::pair<QString, bool>> chips() const {
        std::vector<std::pair<QString, bool>> out;
        for (auto* c : languages()->chips()) out.emplace_back(c->name(), c->isPrimary());
        return out;
    }
    static void click(QWidget* w) {
        const QPointF at(4, 4);
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, {}, {});
        QCoreApplication::sendEvent(w, &press);
        QCoreApplication::sendEvent(w, &release);
    }
    void choose(QComboBox* box, const QString& text) {
        const int index = box->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(OnboardingStepsTest, LanguageChipsFollowTheListAndItsLimits) {
    LocalizationManager::shared().setLanguage("de");
    auto& v = openAt(1);
    auto* step = languages();
    ASSERT_NE(step, nullptr);
    // Nothing stored: the interface language, named in that language, centred like the rest of the page.
    EXPECT_EQ(chips(), (std::vector<std::pair<QString, bool>>{{"Deutsch", true}}));
    QApplication::processEvents();
    QWidget* chip = step->chips()[0];
    EXPECT_NEAR(chip->geometry().center().x(), chip->parentWidget()->rect().center().x(), 1);
    EXPECT_EQ(step->chips()[0]->removeButton(), nullptr);
    EXPECT_TRUE(step->addMenu()->isVisibleTo(&v));
    EXPECT_FALSE(step->primaryHint()->isVisibleTo(&v));

    choose(step->addMenu(), "Englisch");
    EXPECT_EQ(step->addMenu()->currentIndex(), 0);  // the menu never stays on the chosen language
    EXPECT_EQ(step->addMenu()->findText("Englisch"), -1);
    EXPECT_TRUE(step->primaryHint()->isVisibleTo(&v));
    choose(step->addMenu(), "Französisch");
    EXPECT_EQ(v.selectedLanguages(), (std::vector<std::string>{"de", "en", "fr"}));
    EXPECT_FALSE(step->addMenu()->isVisibleTo(&v));

    // A click on the third chip makes it primary; its × removes it instead.
    click(step->chips()[2]);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(v.selectedLanguages(), (std::vector<std::string>{"fr", "de", "en"}));
    EXPECT_EQ(chips()[0], (std::pair<QString, bool>{"Französisch", true}));
    step->chips()[1]->removeButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(v.selectedLanguages(), (std::vector<std::string>{"fr", "en"}));
    EXPECT_TRUE(step->addMenu()->isVisibleTo(&v));

    // Coming back to the step reads the stored list again; a stored empty list leaves Continue off.
    world.defaults().setStringList("preferredLanguages", {});
    v.goToPreviousStep();
    v.goToNextStep();
    EXPECT_TRUE(languages()->chips().empty());
    EXPECT_FALSE(v.canContinue());
}

TEST_F(OnboardingStepsTest, TheHotkeyPickerConfiguresTheManager) {
    auto& v = openAt(1);
    auto* step = languages();
    // Its title reads on the picker's line, not above it.
    QApplication::processEvents();
    auto* title = v.findChild<QLabel*>("hotkeyPickerTitle");
    ASSERT_NE(title, nullptr);
    const auto middle = [](QWidget* w) { return w->mapTo(w->window(), w->rect().center()).y(); };
    EXPECT_NEAR(middle(title), middle(step->hotkeyPicker()), 2);
    EXPECT_EQ(title->alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);

    choose(step->hotkeyPicker(), QString::fromStdString(localizedLabel(HotkeyOption::none, appBundle())));
    EXPECT_EQ(hotkeys->currentOption.get(), HotkeyOption::none);
    EXPECT_EQ(world.defaults().string("hotkeyOption"), "none");
    EXPECT_FALSE(hotkeys->isConfigured.get());
    EXPECT_FALSE(v.continueButton()->isEnabled());
    EXPECT_FALSE(step->triggerHint()->isVisibleTo(&v));
    EXPECT_FALSE(step->warning()->isVisibleTo(&v));

    // A key this session never sees is marked in the picker and holds the guide back, saying why.
    const std::string fnReason = *hotkeyAvailability.reason(HotkeyOption::fn, appBundle());
    const int fn = step->hotkeyPicker()->findData(static_cast<int>(HotkeyOption::fn));
    EXPECT_EQ(step->hotkeyPicker()->itemText(fn), "Fn (unavailable)");
    EXPECT_EQ(step->hotkeyPicker()->itemData(fn, Qt::ToolTipRole).toString().toStdString(), fnReason);
    EXPECT_FALSE(step->hotkeyPicker()->itemData(fn + 1, Qt::ToolTipRole).isValid());
    choose(step->hotkeyPicker(), "Fn (unavailable)");
    EXPECT_EQ(hotkeys->currentOption.get(), HotkeyOption::fn);
    EXPECT_FALSE(v.continueButton()->isEnabled());
    EXPECT_EQ(step->triggerHint()->text().toStdString(), fnReason);
    EXPECT_FALSE(step->warning()->isVisibleTo(&v));  // the reason says it once
    choose(step->hotkeyPicker(), QString::fromStdString(localizedLabel(HotkeyOption::rightCommand, appBundle())));
    EXPECT_TRUE(step->warning()->isVisibleTo(&v));
    EXPECT_EQ(step->warning()->text().toStdString(), *localizedWarning(HotkeyOption::rightCommand, appBundle()));
    // The triangle of every window's warnings stands before the text.
    auto* triangle = step->warning()->parentWidget()->findChild<QLabel*>();
    ASSERT_TRUE(triangle && triangle != step->warning());
    EXPECT_FALSE(triangle->pixmap().isNull());
    EXPECT_LT(triangle->x(), step->warning()->x());
    choose(step->hotkeyPicker(), QString::fromStdString(localizedLabel(HotkeyOption::rightShift, appBundle())));
    EXPECT_TRUE(v.continueButton()->isEnabled());

    // Custom: not configured until a combination is recorded; the recording alone turns it on.
    choose(step->hotkeyPicker(), QString::fromStdString(localizedLabel(HotkeyOption::custom, appBundle())));
    EXPECT_TRUE(step->customRow()->isVisibleTo(&v));
    EXPECT_FALSE(hotkeys->isConfigured.get());
    EXPECT_FALSE(v.continueButton()->isEnabled());
    KeyboardShortcuts::setShortcut(KeyboardShortcuts::Shortcut(40, 0x1000 | 0x20000),
                                   KeyboardShortcuts::Name::pushToTalk());  // from settings of another system
    EXPECT_FALSE(v.continueButton()->isEnabled());
    EXPECT_EQ(step->triggerHint()->text().toStdString(),
              *hotkeyAvailability.reason(HotkeyOption::custom, KeyboardShortcuts::Shortcut(40, 0x20000), appBundle()));
    KeyboardShortcuts::setShortcut(KeyboardShortcuts::Shortcut(40, 0x1000), KeyboardShortcuts::Name::pushToTalk());
    EXPECT_TRUE(hotkeys->isConfigured.get());
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_EQ(step->triggerHint()->text(), "Hold the shortcut to record, release to transcribe and paste.");

    // A header row of the picker is no choice.
    const int header = step->hotkeyPicker()->findText(QString::fromStdString(v.localized("Double-tap")));
    ASSERT_GE(header, 0);
    EXPECT_TRUE(isComboGroupHeading(*step->hotkeyPicker(), header));
    Q_EMIT step->hotkeyPicker()->activated(header);
    EXPECT_EQ(hotkeys->currentOption.get(), HotkeyOption::custom);
    EXPECT_EQ(step->hotkeyPicker()->currentText().toStdString(), localizedLabel(HotkeyOption::custom, appBundle()));
}

// Walking the whole picker with the keyboard, in either language: the page never scrolls sideways, the
// hotkey box with what the choice shows is in sight whole, and the Fn key, which cannot work here, is
// explained in one sentence.
TEST_F(OnboardingStepsTest, EveryTriggerFitsThePageAndFnIsExplainedOnce) {
    // Two languages (and the primary hint), and combinations that fire only in X11 windows (a note after the
    // how-to): a page taller than the window.
    world.defaults().set(kPreferredLanguages, {"de", "fr"});
    noteCombinationWays(hotkeyAvailability, {true, false, false, true});
    for (const char* language : {"en", "de"}) {
        SCOPED_TRACE(language);
        LocalizationManager::shared().setLanguage(language);
        hotkeys->setOption(HotkeyOption::none);
        auto& v = openAt(1);
        auto* scroll = v.stepView()->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        languages()->hotkeyPicker()->setFocus();
        for (int i = 0; i < 20 && hotkeys->currentOption.get() != HotkeyOption::custom; ++i) {
            QTest::keyClick(window->windowHandle(), Qt::Key_Down);
            QApplication::processEvents();
            const auto option = hotkeys->currentOption.get();
            EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << rawValue(option);
            auto* box = v.stepView()->findChild<QWidget*>("hotkeyBox");
            EXPECT_TRUE(
                scroll->viewport()->rect().contains(QRect(box->mapTo(scroll->viewport(), QPoint(0, 0)), box->size())))
                << rawValue(option);
            if (option != HotkeyOption::fn) continue;
            int sentences = 0;
            for (auto* label : v.stepView()->findChildren<QLabel*>())
                if (label->isVisibleTo(&v) && label->text().contains("Fn")) ++sentences;
            EXPECT_EQ(sentences, 1);
        }
        EXPECT_EQ(hotkeys->currentOption.get(), HotkeyOption::custom);
        window.reset();
    }
    LocalizationManager::shared().setLanguage("en");
}

TEST_F(OnboardingStepsTest, WithoutTheKeyboardDevicesAWaylandSessionOffersOnlyKeyCombinations) {
    hotkeyAvailability = hotkeyAvailabilityFor({true, false, false});
    auto& v = openAt(1);
    auto* picker = languages()->hotkeyPicker();
    const std::string why = *hotkeyAvailability.reason(HotkeyOption::rightOption, appBundle());
    const int rightAlt = picker->findData(static_cast<int>(HotkeyOption::rightOption));
    EXPECT_EQ(picker->itemText(rightAlt), "Right Alt (unavailable)");
    EXPECT_EQ(picker->itemData(rightAlt, Qt::ToolTipRole).toString().toStdString(), why);
    // The default trigger is such a key: the guide says why and does not go on.
    EXPECT_EQ(hotkeys->currentOption.get(), HotkeyOption::rightOption);
    EXPECT_EQ(languages()->triggerHint()->text().toStdString(), why);
    EXPECT_FALSE(v.continueButton()->isEnabled());

    // Down the list with the keyboard: every lone key on the way holds the guide back, the first key
    // combination lets it go on.
    picker->setFocus();
    std::vector<HotkeyOption> passed;
    while (hotkeys->currentOption.get() != HotkeyOption::ctrlShiftSpace && passed.size() < 16) {
        QTest::keyClick(window->windowHandle(), Qt::Key_Down);
        passed.push_back(hotkeys->currentOption.get());
        if (passed.back() != HotkeyOption::ctrlShiftSpace) {
            EXPECT_FALSE(v.continueButton()->isEnabled()) << rawValue(passed.back());
            EXPECT_TRUE(picker->currentText().endsWith("(unavailable)")) << picker->currentText().toStdString();
        }
    }
    EXPECT_EQ(passed,
              (std::vector<HotkeyOption>{HotkeyOption::leftOption, HotkeyOption::rightCommand, HotkeyOption::rightShift,
                                         HotkeyOption::rightControl, HotkeyOption::fn, HotkeyOption::ctrlShiftSpace}));
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_EQ(picker->currentText(), "Ctrl + Shift + Space");
    EXPECT_EQ(languages()->triggerHint()->text(), "Hold the shortcut to record, release to transcribe and paste.");

    // The desktop then refuses to bind it, leaving XWayland's grabs: a note after the how-to, still a
    // choice the guide goes on with. In German too.
    noteCombinationWays(hotkeyAvailability, {true, false, false, true});
    const std::string note = appBundle().localizedString("hotkey.note.x11WindowsOnly");
    EXPECT_EQ(languages()->triggerHint()->text().toStdString(),
              "Hold the shortcut to record, release to transcribe and paste.\n" + note);
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_EQ(picker->currentText(), "Ctrl + Shift + Space");
    LocalizationManager::shared().setLanguage("de");
    EXPECT_NE(languages()->triggerHint()->text().indexOf("nur, solange ein X11-Fenster im Fokus ist"), -1)
        << languages()->triggerHint()->text().toStdString();
}

TEST_F(OnboardingStepsTest, TheVoicePackStepStoresTheChoiceAndInstallsThePack) {
    auto& v = openAt(2);
    auto* step = qobject_cast<VoicePackStep*>(v.stepView());
    ASSERT_NE(step, nullptr);
    EXPECT_TRUE(step->row("")->isChecked());
    EXPECT_FALSE(step->row("medical_de_v7")->isChecked());
    // Dictating in English only: both medical packs name their missing language, the software one nothing.
    EXPECT_TRUE(step->warning("medical_de_v7")->isVisibleTo(&v));
    EXPECT_TRUE(step->warning("medical_de_v7")->text().contains("German"));
    EXPECT_TRUE(step->warning("medical_it_v1")->text().contains("Italian"));
    EXPECT_FALSE(step->warning("software_en_v1")->isVisibleTo(&v));

    // In either language each title stays on one line next to its chip, and the texts under it are in the
    // secondary colour (a label inside a button would otherwise take the button's black text).
    const QColor secondary = secondaryColor(QApplication::palette());
    for (const char* language : {"en", "de"}) {
        SCOPED_TRACE(language);
        LocalizationManager::shared().setLanguage(language);
        step = qobject_cast<VoicePackStep*>(v.stepView());
        QApplication::processEvents();
        for (const char* key : {"", "medical_de_v7", "medical_it_v1", "software_en_v1"}) {
            SCOPED_TRACE(key);
            auto* title = step->row(key)->findChild<WrappingText*>();
            ASSERT_NE(title, nullptr);
            EXPECT_EQ(title->lineCount(title->width()), 1) << title->text().toStdString();
            if (auto* chip = step->row(key)->findChild<StatusChip*>()) {
                EXPECT_LE(chip->x() - title->geometry().right(), 10);
            }
            for (auto* label : step->row(key)->findChildren<QLabel*>()) {
                if (label->text().isEmpty()) continue;
                EXPECT_EQ(label->palette().color(label->foregroundRole()), secondary) << label->text().toStdString();
            }
        }
    }
    EXPECT_FALSE(step->warning("medical_it_v1")->text().contains(QStringLiteral("⚠")));
    LocalizationManager::shared().setLanguage("en");

    step->row("medical_de_v7")->click();
    EXPECT_EQ(world.defaults().string("activeDictionary"), "medical_de_v7");
    EXPECT_TRUE(step->row("medical_de_v7")->isChecked());
    EXPECT_FALSE(step->row("")->isChecked());
    EXPECT_EQ(lexicons.installingKey(), "medical_de_v7");
    world.loop().advanceSeconds(2);
    EXPECT_TRUE(lexicons.installedKeys().count("medical_de_v7"));

    step->row("")->click();
    EXPECT_EQ(world.defaults().string("activeDictionary"), "");
    EXPECT_TRUE(step->row("")->isChecked());

    // A pack chosen while another still installs is installed once that one ends.
    step->row("software_en_v1")->click();
    world.loop().advanceSeconds(0.5);
    step->row("medical_it_v1")->click();
    EXPECT_EQ(world.defaults().string("activeDictionary"), "medical_it_v1");
    EXPECT_EQ(lexicons.installingKey(), "software_en_v1");
    world.loop().advanceSeconds(1.2);
    EXPECT_TRUE(lexicons.installedKeys().count("software_en_v1"));
    EXPECT_EQ(lexicons.installingKey(), "medical_it_v1");
    world.loop().advanceSeconds(2);
    EXPECT_TRUE(lexicons.installedKeys().count("medical_it_v1"));
    EXPECT_FALSE(lexicons.installingKey());

    // Back to the languages, German added: its pack no longer warns.
    v.goToPreviousStep();
    v.addLanguage("de");
    v.goToNextStep();
    step = qobject_cast<VoicePackStep*>(v.stepView());
    EXPECT_FALSE(step->warning("medical_de_v7")->isVisibleTo(&v));
}

TEST_F(OnboardingStepsTest, TheFinalPageNamesTheTriggerAndFocusesItsEditor) {
    hotkeys->setOption(HotkeyOption::none);
    auto& v = openAt(3);
    auto* step = qobject_cast<FinalStep*>(v.stepView());
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->hotkeyCaption(), "your hotkey");
    EXPECT_EQ(step->tryItSentence(), "TRY IT NOW — CLICK BELOW, PRESS YOUR HOTKEY, AND SPEAK.");
    hotkeys->setOption(HotkeyOption::rightControl);
    EXPECT_EQ(step->hotkeyCaption().toStdString(), localizedLabel(HotkeyOption::rightControl, appBundle()));
    EXPECT_TRUE(step->tryItSentence().contains(
        QString::fromStdString(localizedLabel(HotkeyOption::rightControl, appBundle())).toUpper()));

    // A long trigger name in German: the sentence wraps and is shown whole, never cut short.
    LocalizationManager::shared().setLanguage("de");
    hotkeys->setOption(HotkeyOption::doubleTapRightControl);
    QApplication::processEvents();
    auto* sentence = v.findChild<KickerLabel*>("tryItSentence");
    ASSERT_NE(sentence, nullptr);
    EXPECT_TRUE(sentence->displayText().contains(
        QString::fromStdString(localizedLabel(HotkeyOption::doubleTapRightControl, appBundle())).toUpper()));
    EXPECT_GT(sentence->lineCount(sentence->width()), 1);
    EXPECT_GE(sentence->height(), sentence->heightForWidth(sentence->width()));
    LocalizationManager::shared().setLanguage("en");

    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    step->getStartedButton()->setFocus();
    world.loop().advanceSeconds(0.2);
    EXPECT_FALSE(step->editor()->hasFocus());
    world.loop().advanceSeconds(0.1);
    EXPECT_TRUE(step->editor()->hasFocus());

    // A dictation started while the guide is in front is meant for its editor, not for the application that
    // was in front before.
    rig.windows->switchTo(RunningApplication{42, 4242});
    ASSERT_TRUE(rig.tracker.lastTargetApp());
    appState->recordingState.set(RecordingState::recording);
    EXPECT_FALSE(rig.tracker.lastTargetApp());
    appState->recordingState.set(RecordingState::idle);
}

// "Custom…" is no key to press: the page names the recorded combination, as the rest of the application
// writes it and in the interface language, or the words for no trigger while nothing is recorded.
TEST_F(OnboardingStepsTest, TheFinalPageNamesTheRecordedShortcutForTheCustomTrigger) {
    hotkeys->setOption(HotkeyOption::custom);
    auto& v = openAt(3);
    auto* step = qobject_cast<FinalStep*>(v.stepView());
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->hotkeyCaption(), "your hotkey");
    EXPECT_EQ(step->tryItSentence(), "TRY IT NOW — CLICK BELOW, PRESS YOUR HOTKEY, AND SPEAK.");

    // The D key of a US layout.
    struct Layout : KeyboardShortcuts::KeyboardLayout {
        std::optional<std::string> textForKey(std::int64_t code) const override {
            return code == 2 ? std::optional<std::string>("d") : std::nullopt;
        }
        std::optional<std::int64_t> carbonKeyCodeForNativeKey(std::uint32_t) const override { return std::nullopt; }
    };
    KeyboardShortcuts::setCurrentKeyboardLayout(std::make_shared<Layout>());
    KeyboardShortcuts::setShortcut(KeyboardShortcuts::Shortcut(2, 0x1000 | 0x800),
                                   KeyboardShortcuts::Name::pushToTalk());
    step = qobject_cast<FinalStep*>(v.stepView());
    EXPECT_EQ(step->hotkeyCaption(), "Ctrl + Alt + D");
    EXPECT_EQ(step->tryItSentence(), "TRY IT NOW — CLICK BELOW, PRESS CTRL + ALT + D, AND SPEAK.");
    LocalizationManager::shared().setLanguage("de");
    step = qobject_cast<FinalStep*>(v.stepView());
    EXPECT_EQ(step->hotkeyCaption(), "Strg + Alt + D");
    EXPECT_TRUE(step->tryItSentence().contains("STRG + ALT + D")) << step->tryItSentence().toStdString();
    EXPECT_FALSE(step->tryItSentence().contains("EIGENE")) << step->tryItSentence().toStdString();
    LocalizationManager::shared().setLanguage("en");
    KeyboardShortcuts::setCurrentKeyboardLayout(nullptr);
}

TEST_F(OnboardingStepsTest, GetStartedStoresOnceStartsOneLoadAndClosesTheWindow) {
    auto& v = openAt(1);
    v.addLanguage("de");
    v.makePrimaryLanguage("de");
    v.goToNextStep();
    v.goToNextStep();
    auto* step = qobject_cast<FinalStep*>(v.stepView());
    ASSERT_NE(step, nullptr);

    int loads = 0;
    auto counting = appState->isModelLoading.changed.connect([&](bool loading) { loads += loading ? 1 : 0; });
    step->getStartedButton()->click();

    EXPECT_EQ(world.defaults().stringList("preferredLanguages"), (std::vector<std::string>{"de", "en"}));
    EXPECT_TRUE(world.defaults().boolValue("hasCompletedOnboarding"));
    EXPECT_FALSE(appState->needsOnboarding.get());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(step->getStartedButton()->isEnabled());
    EXPECT_EQ(loads, 0);  // the load starts after the window was asked to close
    world.loop().runUntil([&] { return loads > 0 && !appState->isModelLoading.get(); }, std::chrono::seconds(20));
    EXPECT_EQ(loads, 1);

    // A second click that still reaches the guide (a double click) changes nothing and loads nothing.
    v.addLanguage("fr");
    v.completeOnboarding();
    world.loop().runPending();
    world.loop().runUntil([&] { return loads > 1; }, std::chrono::milliseconds(300));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(world.defaults().stringList("preferredLanguages"), (std::vector<std::string>{"de", "en"}));
}

}  // namespace
