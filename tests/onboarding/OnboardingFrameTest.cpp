// The guide's frame: which step may be left, the bar, the dots and the buttons per step, the watch on
// the two grants, and the finish.
#include <QApplicationStateChangeEvent>
#include <QLabel>
#include <QPushButton>

#include "onboarding/CompactStep.h"
#include "onboarding/OnboardingProgressBar.h"
#include "onboarding/OnboardingRig.h"
#include "onboarding/PermissionBadge.h"
#include "onboarding/StepDots.h"
#include "onboarding/WelcomeStep.h"

using namespace vandrel;
using Access = Permissions::Accessibility;

namespace {

class OnboardingFrameTest : public test::OnboardingFixture {
protected:
    void grantAll() {
        permissions.microphone = true;
        permissions.accessibilityState = Access::granted;
    }
    void clickContinue() {
        ASSERT_TRUE(view->continueButton()->isEnabled());
        view->continueButton()->click();
        world.loop().runPending();
    }
    QString text(const char* name) const {
        auto* label = view->findChild<QLabel*>(name);
        return label && label->isVisibleTo(view) ? label->text() : QString();
    }
    // A permission row's badge as shown: its word, with "✓ " before it when it draws its check mark.
    QString badge(const char* name) const {
        auto* b = view->findChild<PermissionBadge*>(name);
        if (!b || !b->isVisibleTo(view)) return {};
        return (b->showsCheckMark() ? QStringLiteral("✓ ") : QString()) + b->text();
    }
};

TEST_F(OnboardingFrameTest, EachStepShowsItsProgressDotsAndButtonsAndGatesContinue) {
    grantAll();
    hotkeys->setOption(HotkeyOption::none);
    auto& v = open();
    world.loop().runPending();

    auto expectStep = [&](int step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(v.currentStep(), step);
        world.loop().advanceSeconds(0.3);
        EXPECT_DOUBLE_EQ(v.progressBar()->fraction(), (step + 1) / 4.0);
        EXPECT_EQ(v.navigationBar()->isVisibleTo(&v), step < 3);
        EXPECT_EQ(v.backButton()->isVisibleTo(&v), step >= 1 && step < 3);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v.stepDots()->dot(i), i == step  ? StepDots::Dot::current
                                            : i < step ? StepDots::Dot::done
                                                       : StepDots::Dot::ahead);
    };

    expectStep(0);
    EXPECT_TRUE(v.canContinue());
    clickContinue();
    expectStep(1);
    // One language (the interface's) but no trigger: not yet.
    EXPECT_EQ(v.selectedLanguages(), std::vector<std::string>{"en"});
    EXPECT_FALSE(v.continueButton()->isEnabled());
    hotkeys->setOption(HotkeyOption::rightControl);
    EXPECT_TRUE(v.continueButton()->isEnabled());
    v.removeLanguage("en");
    EXPECT_FALSE(v.continueButton()->isEnabled());
    v.addLanguage("en");
    clickContinue();
    expectStep(2);
    EXPECT_TRUE(v.canContinue());
    v.backButton()->click();
    expectStep(1);
    clickContinue();
    clickContinue();
    expectStep(3);

    // The bar eases to a new step rather than jumping.
    v.goToPreviousStep();
    world.loop().advanceSeconds(0.1);
    EXPECT_GT(v.progressBar()->fraction(), 0.75);
    EXPECT_LT(v.progressBar()->fraction(), 1.0);
}

TEST_F(OnboardingFrameTest, GrantsArePolledOnlyOnTheFirstStepWhileOneIsMissing) {
    permissions.accessibilityState = Access::granted;
    auto& v = open();
    EXPECT_EQ(permissions.microphoneChecks, 1);  // at once when the step appears
    EXPECT_FALSE(v.canContinue());
    EXPECT_FALSE(text("microphoneRemedy").isEmpty());
    world.loop().advanceSeconds(3);
    EXPECT_EQ(permissions.microphoneChecks, 4);
    EXPECT_TRUE(v.isPollingPermissions());

    // The user grants in another window; activating it counts as the application becoming active.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &elsewhere);
    const int checks = permissions.microphoneChecks;

    // The application coming forward checks at once.
    QApplicationStateChangeEvent active(Qt::ApplicationActive);
    QCoreApplication::sendEvent(qApp, &active);
    world.loop().runPending();
    EXPECT_EQ(permissions.microphoneChecks, checks + 1);

    // "Check Permissions Now" does too; a grant found there brings the guide back in front, enables Continue
    // and ends the polling.
    permissions.microphone = true;
    v.findChild<QPushButton*>("checkPermissionsNow")->click();
    world.loop().runPending();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), window.get());
    EXPECT_EQ(permissions.microphoneChecks, checks + 2);
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_EQ(badge("microphoneBadge"), "✓ GRANTED");
    EXPECT_EQ(text("statusGranted"), "All permissions granted! You're ready to continue.");
    world.loop().advanceSeconds(1);
    EXPECT_FALSE(v.isPollingPermissions());
    world.loop().advanceSeconds(5);
    EXPECT_EQ(permissions.microphoneChecks, checks + 2);

    // Leaving the step stops the watch; coming back starts it again, with a check at once.
    permissions.microphone = false;
    v.goToNextStep();
    EXPECT_FALSE(v.isPollingPermissions());
    v.goToPreviousStep();
    world.loop().runPending();
    EXPECT_EQ(permissions.microphoneChecks, checks + 3);
    EXPECT_TRUE(v.isPollingPermissions());
    EXPECT_FALSE(v.continueButton()->isEnabled());
}

TEST_F(OnboardingFrameTest, ASessionThatCannotPasteDoesNotKeepTheUserInTheGuide) {
    permissions.accessibilityState = Access::unavailable;
    auto& v = open();
    // The missing sound server can be fixed, so it is waited for, with the remedy on the row.
    EXPECT_FALSE(v.continueButton()->isEnabled());
    EXPECT_TRUE(v.isPollingPermissions());
    EXPECT_TRUE(text("microphoneRemedy").contains("sound server"));

    permissions.microphone = true;
    world.loop().advanceSeconds(1);
    // Without an X11 display the paste keystroke can never be sent: the row says what happens instead,
    // Continue counts it as settled and the watch stops.
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_TRUE(text("accessibilityRemedy").contains("clipboard"));
    EXPECT_EQ(badge("accessibilityBadge"), "CLIPBOARD ONLY");
    EXPECT_TRUE(text("statusGranted").contains("clipboard"));
    world.loop().advanceSeconds(1);
    EXPECT_FALSE(v.isPollingPermissions());

    // Nor can an X11 display without XTest: a running X server gains no extension. It is not waited for
    // either, and the row and the help fit that case.
    permissions.accessibilityState = Access::missing;
    auto& again = open();
    world.loop().advanceSeconds(1);
    EXPECT_TRUE(again.continueButton()->isEnabled());
    EXPECT_FALSE(again.isPollingPermissions());
    EXPECT_TRUE(text("accessibilityRemedy").contains("XTEST"));
    EXPECT_TRUE(text("accessibilityRemedy").contains("clipboard"));
    EXPECT_EQ(badge("accessibilityBadge"), "CLIPBOARD ONLY");
    EXPECT_TRUE(text("statusGranted").contains("clipboard"));
    again.findChild<QPushButton*>("helpToggle")->click();
    world.loop().advanceSeconds(1);
    const auto help = again.findChild<QWidget*>("accessibilityHelp")->findChildren<CompactStep*>();
    ASSERT_EQ(help.size(), 2);
    EXPECT_TRUE(help[0]->text().contains("XTEST")) << help[0]->text().toStdString();
}

TEST_F(OnboardingFrameTest, AWaylandSessionSaysWhereTheTextGoesAndHowToComeBackWithoutATray) {
    permissions.microphone = true;
    permissions.accessibilityState = Access::x11WindowsOnly;
    permissions.trayHost = false;
    permissions.keyboards = Permissions::KeyboardDevices::notReadable;
    auto& v = open();
    world.loop().advanceSeconds(1);
    // Keyboard devices this user may not read hold nothing back: the row says what to do, and what else works.
    EXPECT_TRUE(v.continueButton()->isEnabled());
    EXPECT_EQ(badge("keyboardDevicesBadge"), "NOT READABLE");
    QString row;
    for (auto* label : v.findChild<QWidget*>("keyboardDevicesRow")->findChildren<QLabel*>())
        if (label->isVisibleTo(&v)) row += label->text() + "\n";
    for (const char* part : {"sudo usermod -aG input $USER", "every key you type", "vandrel --toggle", "--cancel"})
        EXPECT_TRUE(row.contains(part)) << part << "\n" << row.toStdString();
    EXPECT_FALSE(v.isPollingPermissions());
    EXPECT_TRUE(text("accessibilityRemedy").contains("X11 (XWayland)")) << text("accessibilityRemedy").toStdString();
    EXPECT_EQ(badge("accessibilityBadge"), "X11 APPS ONLY");
    EXPECT_FALSE(text("statusGranted").contains("clipboard"));               // not for the X11 applications
    EXPECT_FALSE(v.findChild<QPushButton*>("helpToggle")->isVisibleTo(&v));  // its lines are about X11
    EXPECT_TRUE(text("trayNote").contains("start Vandrel again")) << text("trayNote").toStdString();

    permissions.accessibilityState = Access::needsConsent;
    permissions.trayHost = true;
    auto& again = open();
    world.loop().advanceSeconds(1);
    EXPECT_TRUE(again.continueButton()->isEnabled());
    EXPECT_TRUE(text("accessibilityRemedy").contains("asks once")) << text("accessibilityRemedy").toStdString();
    EXPECT_TRUE(text("trayNote").isEmpty());

    permissions.keyboards = Permissions::KeyboardDevices::readable;
    open();
    EXPECT_EQ(badge("keyboardDevicesBadge"), "✓ READABLE");
    EXPECT_TRUE(text("keyboardDevicesRemedy").isEmpty());
    // An X11 session has no such row.
    permissions.keyboards = Permissions::KeyboardDevices::notNeeded;
    auto& x11 = open();
    EXPECT_FALSE(x11.findChild<QWidget*>("keyboardDevicesRow")->isVisibleTo(&x11));
}

TEST_F(OnboardingFrameTest, ChoosingDeutschRelabelsTheGuideAtOnce) {
    auto& v = open();
    EXPECT_EQ(v.continueButton()->text(), "Continue");
    v.findChild<QPushButton*>("languageGerman")->click();
    EXPECT_EQ(LocalizationManager::shared().language(), "de");
    EXPECT_EQ(v.currentStep(), 0);
    EXPECT_EQ(v.continueButton()->text(), "Weiter");
    // The button's symbol says "again"; its text does not repeat it.
    auto* checkNow = v.findChild<QPushButton*>("checkPermissionsNow");
    EXPECT_EQ(checkNow->text().toStdString(), "Jetzt prüfen");
    EXPECT_FALSE(checkNow->icon().isNull());
    EXPECT_TRUE(v.findChild<QPushButton*>("languageGerman")->isChecked());
}

TEST_F(OnboardingFrameTest, TheHelpOpensWithASpringInVirtualTime) {
    auto& v = open();
    auto* step = qobject_cast<WelcomeStep*>(v.stepView());
    ASSERT_NE(step, nullptr);
    v.findChild<QPushButton*>("helpToggle")->click();
    EXPECT_TRUE(v.isAccessibilityHelpExpanded());
    world.loop().advanceSeconds(0.1);
    const double early = step->helpReveal();
    EXPECT_GT(early, 0.0);
    EXPECT_LT(early, 1.0);
    world.loop().advanceSeconds(1);
    EXPECT_DOUBLE_EQ(step->helpReveal(), 1.0);
    EXPECT_TRUE(v.findChild<QWidget*>("accessibilityHelp")->isVisibleTo(&v));
}

}  // namespace
