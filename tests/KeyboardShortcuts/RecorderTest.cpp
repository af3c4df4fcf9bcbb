// The recorder and the Qt helpers, on the offscreen platform.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "KeyboardShortcuts/QtShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa.h"
#include "ShortcutsFixture.h"
#include "base/LocalizationManager.h"

namespace vandrel::test {
namespace {

using namespace KeyboardShortcuts;

class RecorderTest : public ShortcutsTest {
protected:
    RecorderTest() {
        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        layout->addWidget(other);
        recorder = new RecorderCocoa(
            name, [this](const std::optional<Shortcut>& s) { changes.push_back(s); }, &window);
        layout->addWidget(recorder);
        window.show();
        window.activateWindow();
        QApplication::processEvents();
        active = NotificationCenter::shared().addObserver(
            kRecorderActiveStatusDidChange,
            [this](const Notification& n) { activity.push_back(n.userInfo.at("isActive")); });
        RecorderCocoa::setAlertPresenter([this](QWidget*, const RecorderCocoa::Alert& alert) {
            alerts.push_back(alert);
            return alertResponse;
        });
    }
    ~RecorderTest() override {
        RecorderCocoa::setAlertPresenter({});
        RecorderCocoa::setApplicationMenu(nullptr);
    }

    // A click on the field, delivered to its window as the window system would.
    static void click(QWidget* widget, QPoint at = QPoint(5, 5)) {
        QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, {}, widget->mapTo(widget->window(), at));
        QApplication::processEvents();
    }
    void startRecording() {
        click(recorder);
        ASSERT_TRUE(recorder->isRecording());
    }
    // Typed on the keyboard: the modifiers go down first, and every key reaches the focused window, which
    // hands it on to its focus widget (or whoever holds the keyboard).
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* topLevel = nullptr) {
        QTest::keyClick((topLevel ? topLevel : &window)->windowHandle(), key, modifiers);
        QApplication::processEvents();
    }

    const Name name{"pushToTalk"};
    QWidget window;
    QLineEdit* other = nullptr;
    RecorderCocoa* recorder = nullptr;
    std::vector<std::optional<Shortcut>> changes;
    std::vector<std::string> activity;
    std::vector<RecorderCocoa::Alert> alerts;
    int alertResponse = 0;
    Connection active;
};

TEST_F(RecorderTest, AClickRecordsPausesTheShortcutsAndStoresACombination) {
    startRecording();
    EXPECT_TRUE(isPaused());
    EXPECT_EQ(recorder->placeholderText().toStdString(), "Press Shortcut");
    press(Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(world.defaults().string("KeyboardShortcuts_pushToTalk"),
              std::optional<std::string>(R"({"carbonKeyCode":49,"carbonModifiers":4608})"));
    EXPECT_EQ(recorder->text().toStdString(), "Ctrl + Shift + Space");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(changes, (std::vector<std::optional<Shortcut>>{ctrlShiftSpace}));
    EXPECT_EQ(activity, (std::vector<std::string>{"true", "false"}));
    EXPECT_EQ(registrationOutcome(name), RegistrationOutcome::registered);

    // The modifiers pressed on the way to a combination are not a combination of their own.
    startRecording();
    press(Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(getShortcut(name), Shortcut(2, 0x1000 | 0x800));
    EXPECT_EQ(recorder->text().toStdString(), "Ctrl + Alt + D");
}

TEST_F(RecorderTest, WhileRecordingTheFieldShowsItsPromptAndNoCaret) {
    startRecording();
    const QImage withPrompt = recorder->grab().toImage();
    recorder->setPlaceholderText(QString());
    const QImage empty = recorder->grab().toImage();
    EXPECT_NE(empty, withPrompt) << "no prompt drawn while recording";

    // Without the prompt nothing in the middle of the field may be drawn in the text colour: a caret would
    // stand there, in the centred field, as a line of it (steady while the blink is at rest).
    QApplication::setCursorFlashTime(0);
    recorder->update();
    const QImage idle = recorder->grab().toImage();
    const QColor ink = recorder->palette().text().color();
    int inked = 0;
    for (int x = recorder->width() / 2 - 4; x <= recorder->width() / 2 + 4; ++x)
        for (int y = 4; y < recorder->height() - 4; ++y) {
            const QColor c = idle.pixelColor(x, y);
            if (std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) + std::abs(c.blue() - ink.blue()) <
                90)
                ++inked;
        }
    QApplication::setCursorFlashTime(1000);
    EXPECT_EQ(inked, 0) << "a caret is drawn while recording";
}

TEST_F(RecorderTest, PlainF12IsStoredEvenWhenAnotherProgramHoldsIt) {
    backend->heldElsewhere.insert({111, 0});
    startRecording();
    press(Qt::Key_F12);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(getShortcut(name), Shortcut(111, 0));
    EXPECT_EQ(recorder->text().toStdString(), "F12");
}

TEST_F(RecorderTest, LettersWithoutCommandModifiersAreRefused) {
    setShortcut(ctrlShiftSpace, name);
    startRecording();
    press(Qt::Key_A, Qt::ShiftModifier);
    press(Qt::Key_A);
    EXPECT_EQ(getShortcut(name), ctrlShiftSpace);
    EXPECT_TRUE(recorder->isRecording());
    press(Qt::Key_F5, Qt::ShiftModifier);  // function keys need no modifier
    EXPECT_EQ(getShortcut(name), Shortcut(96, 0x200));
}

TEST_F(RecorderTest, EscapeAndTabKeepTheOldShortcutAndBackspaceClears) {
    setShortcut(ctrlShiftSpace, name);
    startRecording();
    press(Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(getShortcut(name), ctrlShiftSpace);
    EXPECT_TRUE(changes.empty());

    // Tab moves on to the next field, as anywhere else.
    startRecording();
    press(Qt::Key_Tab);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(getShortcut(name), ctrlShiftSpace);
    EXPECT_TRUE(changes.empty());

    startRecording();
    press(Qt::Key_Backspace);
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_FALSE(world.defaults().contains("KeyboardShortcuts_pushToTalk"));
    EXPECT_TRUE(recorder->text().isEmpty());
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(changes, (std::vector<std::optional<Shortcut>>{std::nullopt}));
    EXPECT_TRUE(backend->registered.empty());
}

TEST_F(RecorderTest, AMenuItemsCombinationIsRefusedWithItsTitle) {
    QMenu menu;
    QMenu* sub = menu.addMenu("Tools");
    QAction* quit = sub->addAction("&Quit Vandrel");
    quit->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    RecorderCocoa::setApplicationMenu(&menu);
    startRecording();
    press(Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].message.find("\u201CQuit Vandrel\u201D"), std::string::npos) << alerts[0].message;
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_TRUE(recorder->isRecording());  // recording resumes after the alert
}

TEST_F(RecorderTest, ACombinationHeldElsewhereAsksAndCanBeForced) {
    backend->heldElsewhere.insert({40, 0x1000 | 0x200});  // Ctrl+Shift+K
    startRecording();
    press(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"OK", "Use Anyway"}));
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_TRUE(recorder->isRecording());

    alertResponse = 1;
    press(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(getShortcut(name), Shortcut(40, 0x1200));
    // Stored, but the refusal is visible to whoever shows the setting.
    EXPECT_EQ(registrationOutcome(name), RegistrationOutcome::taken);
}

TEST_F(RecorderTest, AWindowComingForwardDoesNotStartRecording) {
    QWidget lone;
    auto* field = new RecorderCocoa(name, {}, &lone);
    lone.show();
    lone.activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(field->hasFocus());  // the window gave it the focus by itself
    EXPECT_FALSE(field->isRecording());
    EXPECT_FALSE(isPaused());
    // A click then starts recording.
    click(field);
    EXPECT_TRUE(field->isRecording());
}

TEST_F(RecorderTest, TheClearButtonClearsAsDeleteDoes) {
    setShortcut(ctrlShiftSpace, name);
    auto* clearButton = recorder->findChild<QToolButton*>();
    ASSERT_NE(clearButton, nullptr);
    ASSERT_TRUE(clearButton->isVisible());

    // A click on it while idle starts recording and clears at once.
    click(clearButton, clearButton->rect().center());
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_FALSE(world.defaults().contains("KeyboardShortcuts_pushToTalk"));
    EXPECT_TRUE(recorder->text().isEmpty());
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(changes, (std::vector<std::optional<Shortcut>>{std::nullopt}));

    // And while recording, where the field takes every other click inside it.
    press(Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(getShortcut(name), Shortcut(1, 0x1000 | 0x800));
    startRecording();
    ASSERT_TRUE(clearButton->isVisible());
    click(clearButton, clearButton->rect().center());
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(changes.back(), std::nullopt);
    EXPECT_TRUE(backend->registered.empty());
}

TEST_F(RecorderTest, OnlyTheUsersTabRecordsNotFocusQtMovesOnByItself) {
    // A button that is greyed out by its own click, as "Check for Updates…" is while the check runs: Qt
    // hands the focus on to the next field in the chain, the recorder.
    QWidget lone;
    auto* layout = new QVBoxLayout(&lone);
    auto* button = new QPushButton("Check", &lone);
    layout->addWidget(button);
    auto* field = new RecorderCocoa(name, {}, &lone);
    layout->addWidget(field);
    QObject::connect(button, &QPushButton::clicked, button, [button] { button->setEnabled(false); });
    setShortcut(ctrlShiftSpace, name);
    lone.show();
    lone.activateWindow();
    QApplication::processEvents();
    click(button, button->rect().center());
    ASSERT_TRUE(field->hasFocus());
    EXPECT_FALSE(field->isRecording());
    EXPECT_FALSE(isPaused());
    EXPECT_FALSE(field->hasSelectedText());

    // The user's own Tab into the field records.
    window.activateWindow();
    QApplication::processEvents();
    other->setFocus();
    press(Qt::Key_Tab);
    ASSERT_TRUE(recorder->hasFocus());
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(RecorderTest, TheShortcutAndThePromptFollowTheInterfaceLanguage) {
    setShortcut(ctrlShiftSpace, name);
    LocalizationManager::shared().setLanguage("de");
    EXPECT_EQ(recorder->text().toStdString(), "Strg + Umschalt + Leertaste");
    EXPECT_EQ(recorder->placeholderText().toStdString(), localized("record_shortcut"));
    startRecording();
    LocalizationManager::shared().setLanguage("en");
    EXPECT_EQ(recorder->text().toStdString(), "Ctrl + Shift + Space");
    EXPECT_EQ(recorder->placeholderText().toStdString(), "Press Shortcut");
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(RecorderTest, ClickingOutsideEndsRecording) {
    startRecording();
    click(other);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(other->hasFocus());  // the click still reached its target
}

TEST_F(RecorderTest, ExternalChangesRefreshTheText) {
    setShortcut(Shortcut(0, 0x100), name);
    EXPECT_EQ(recorder->text().toStdString(), "Super + A");
    setShortcut(Shortcut(0, 0x100), Name("other"));
    EXPECT_EQ(recorder->text().toStdString(), "Super + A");
    setShortcut(std::nullopt, name);
    EXPECT_TRUE(recorder->text().isEmpty());
}

TEST_F(RecorderTest, MenuActionFollowsTheNamedShortcut) {
    QAction action("Dictate");
    setShortcut(ctrlShiftSpace, name);
    KeyboardShortcuts::setShortcut(&action, name);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Space));
    setShortcut(Shortcut(0, 0x100), Name("other"));
    world.loop().runPending();
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Space));
    setShortcut(std::nullopt, name);
    world.loop().runPending();
    EXPECT_TRUE(action.shortcut().isEmpty());
    setShortcut(Shortcut(83, 0), name);  // keypad 1: no key equivalent
    world.loop().runPending();
    EXPECT_TRUE(action.shortcut().isEmpty());
    KeyboardShortcuts::setShortcut(&action, std::nullopt);
    setShortcut(Shortcut(0, 0x1000), name);
    world.loop().runPending();
    EXPECT_TRUE(action.shortcut().isEmpty());
}

TEST_F(RecorderTest, WindowShortcutIsWithdrawnWhileRecording) {
    QAction action("Dictate");
    setShortcut(ctrlShiftSpace, name);
    globalKeyboardShortcut(&action, name);
    EXPECT_FALSE(action.shortcut().isEmpty());
    startRecording();
    EXPECT_TRUE(action.shortcut().isEmpty());
    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_A));
}

TEST_F(RecorderTest, KeyboardShortcutEventsFollowTheContextsLife) {
    setShortcut(ctrlShiftSpace, name);
    std::vector<EventType> seen;
    {
        QObject context;
        onKeyboardShortcut(&context, name, [&](EventType t) { seen.push_back(t); });
        world.loop().runPending();
        backend->press(49, kCtrlShift);
    }
    world.loop().runPending();
    backend->press(49, kCtrlShift);
    EXPECT_EQ(seen, std::vector<EventType>{EventType::keyDown});
}

TEST_F(RecorderTest, AnOpenMenuPassesMatchingKeysToTheShortcut) {
    installMenuTracking(qApp);
    std::vector<std::string> log;
    onKeyDown(name, [&] { log.push_back("down"); });
    setShortcut(ctrlShiftSpace, name);
    QMenu menu;
    menu.addAction("Item");
    menu.popup(QPoint(0, 0));
    QApplication::processEvents();
    ASSERT_TRUE(CarbonKeyboardShortcuts::isMenuOpen());
    press(Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier, &menu);
    EXPECT_EQ(log, std::vector<std::string>{"down"});
    menu.hide();
    QApplication::processEvents();
    EXPECT_FALSE(CarbonKeyboardShortcuts::isMenuOpen());
}

}  // namespace
}  // namespace vandrel::test

int main(int argc, char** argv) {
    // Also when ctest lists the tests, which runs this without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
