// The clipboard and the paste keystroke on a real X server (Xvfb).
// Qt and GoogleTest before Xlib: Xlib defines macros (Bool, Status, None) that their headers refuse to
// follow.
// clang-format off
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QProcess>

#include "base/FileUtil.h"
#include "dictation/OutputService.h"
#include "platform/X11TestSupport.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/x11/XTestKeyInjector.h"
#include "support/TestEnvironment.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

using namespace vandrel;

namespace {

struct ClipboardOwnerProcess {
    QProcess process;
    explicit ClipboardOwnerProcess(int width, int height, const QString& text) {
        process.start(test::clipboardOwnerPath(), {"own", QString::number(width), QString::number(height), text});
        test::spinUntil([&] { return process.readAllStandardOutput().contains("ready"); }, 10000);
    }
    ~ClipboardOwnerProcess() {
        process.kill();
        process.waitForFinished(5000);
    }
};

struct PasteRun {
    test::TestWorld world;
    std::shared_ptr<QtPasteboard> board = std::make_shared<QtPasteboard>();
    std::shared_ptr<x11::XTestKeyInjector> keys = std::make_shared<x11::XTestKeyInjector>();
    std::shared_ptr<QtPasteboard> primary =
        std::make_shared<QtPasteboard>(x11::SelectionReader::Limits{}, QtPasteboard::Selection::primary);
    OutputService output{board, keys, primary};

    std::optional<PasteResult> paste(const std::string& text) {
        std::optional<PasteResult> result;
        output.pasteText(text, [&](PasteResult r) { result = r; });
        // The snapshot of another process's clipboard arrives from a worker thread in real time.
        world.loop().runUntil([&] { return board->plainText() == text; });
        world.loop().advanceSeconds(OutputService::pasteDelay);
        return result;
    }
};

// A focused top-level window with the WM_CLASS of some program, on a connection of its own, that
// records the keys pressed in it.
struct KeyRecordingWindow {
    Display* d = XOpenDisplay(nullptr);
    Window window = 0;

    KeyRecordingWindow(const char* instanceName, const char* className) {
        window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 100, 0, 0, 0);
        XClassHint hint{const_cast<char*>(instanceName), const_cast<char*>(className)};
        XSetClassHint(d, window, &hint);
        XSelectInput(d, window, KeyPressMask | StructureNotifyMask);
        XMapWindow(d, window);
        XEvent e;
        do XWindowEvent(d, window, StructureNotifyMask, &e);
        while (e.type != MapNotify);
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
        XSync(d, False);
    }
    ~KeyRecordingWindow() {
        XDestroyWindow(d, window);
        XCloseDisplay(d);
    }
    // The keys other than modifiers pressed so far, each with the modifiers held ("Ctrl+Shift+v").
    void collect(std::vector<std::string>& presses) {
        XEvent e;
        while (XCheckWindowEvent(d, window, KeyPressMask, &e)) {
            const KeySym sym = XkbKeycodeToKeysym(d, static_cast<KeyCode>(e.xkey.keycode), 0, 0);
            if (IsModifierKey(sym)) continue;
            std::string name;
            if (e.xkey.state & ControlMask) name += "Ctrl+";
            if (e.xkey.state & ShiftMask) name += "Shift+";
            presses.push_back(name + XKeysymToString(sym));
        }
    }
};

// The top-level window whose title is `title`, once it is on screen.
Window viewableWindowTitled(Display* d, const char* title) {
    Window root = 0, parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(d, children[i], &name) && name && std::string(name) == title &&
            XGetWindowAttributes(d, children[i], &attributes) && attributes.map_state == IsViewable)
            found = children[i];
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

TEST(ClipboardX11, AnotherProcesssTextAndImageComeBackByteForByte) {
    ClipboardOwnerProcess owner(64, 48, "original text");
    const QString before = test::dumpClipboardFromAnotherProcess();
    ASSERT_TRUE(before.contains("text/plain")) << before.toStdString();
    ASSERT_TRUE(before.contains("image/png")) << before.toStdString();

    PasteRun run;
    auto result = run.paste("dictated text ");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->keystrokeSent);
    EXPECT_EQ(run.board->plainText(), "dictated text ");
    EXPECT_TRUE(test::dumpClipboardFromAnotherProcess().contains("text/plain"));

    run.world.loop().advanceSeconds(2.0);
    EXPECT_EQ(run.board->plainText(), "original text");
    EXPECT_EQ(test::dumpClipboardFromAnotherProcess().toStdString(), before.toStdString());
}

TEST(ClipboardX11, ASnapshotLeavesOutTheSelectionBookkeeping) {
    ClipboardOwnerProcess owner(8, 8, "x");
    test::TestWorld world;
    std::optional<PasteboardSnapshot> snapshot;
    QtPasteboard board;
    OutputService::snapshotPasteboard(board, [&](PasteboardSnapshot s) { snapshot = std::move(s); });
    world.loop().runUntil([&] { return snapshot.has_value(); });
    ASSERT_TRUE(snapshot);
    ASSERT_FALSE(snapshot->empty());
    for (const auto& e : *snapshot) {
        EXPECT_FALSE(QtPasteboard::isBookkeepingType(e.type)) << e.type;
        EXPECT_FALSE(e.data.empty()) << e.type;
    }
}

TEST(PasteKeystrokeX11, TheFocusedWindowReceivesTheTextWithItsTrailingSpace) {
    QLineEdit field;
    field.setWindowTitle("paste target");
    field.show();
    field.activateWindow();
    field.setFocus();
    ASSERT_TRUE(test::spinUntil([&] { return field.hasFocus() && QApplication::focusWidget() == &field; }));

    PasteRun run;
    ASSERT_TRUE(run.keys->isTrusted());
    EXPECT_FALSE(run.keys->modifiersHeld());
    auto result = run.paste("hello world ");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->keystrokeSent);
    EXPECT_TRUE(test::spinUntil([&] { return field.text() == "hello world "; }));
    EXPECT_EQ(field.text().toStdString(), "hello world ");
}

TEST(PasteKeystrokeX11, TheKeystrokeFollowsTheFocusedWindowsClass) {
    const std::pair<const char*, const char*> classes[] = {{"gedit", "Gedit"},
                                                           {"gnome-terminal-server", "Gnome-terminal"}};
    const std::string expected[] = {"Ctrl+v", "Ctrl+Shift+v"};
    for (int i = 0; i < 2; ++i) {
        KeyRecordingWindow window(classes[i].first, classes[i].second);
        PasteRun run;
        auto result = run.paste("echo hi ");
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->keystrokeSent);
        std::vector<std::string> presses;
        EXPECT_TRUE(test::spinUntil([&] {
            window.collect(presses);
            return !presses.empty();
        }));
        EXPECT_EQ(presses, std::vector<std::string>{expected[i]}) << classes[i].second;
    }
}

// xterm pastes PRIMARY with Shift+Insert (and takes Ctrl+V as a literal ^V): the text arrives in the
// program running in it, and the selection the user had comes back afterwards.
TEST(PasteKeystrokeX11, TextReachesAProgramInXtermAndPrimaryComesBack) {
    PasteRun run;
    QGuiApplication::clipboard()->setText("earlier selection", QClipboard::Selection);
    const std::string text = "echo from vandrel ";
    const auto typed = run.world.home() / "typed";
    const char* title = "vandrel paste target";
    QProcess xterm;
    // The program reads the terminal's input byte by byte into a file, which it creates once the
    // terminal is set up.
    xterm.start("xterm", {"-fa", "DejaVu Sans Mono", "-fs", "10", "-title", title, "-e", "sh", "-c",
                          QString("stty -icanon -echo; head -c %1 > '%2'")
                              .arg(text.size())
                              .arg(QString::fromStdString(typed.string()))});
    ASSERT_TRUE(xterm.waitForStarted(5000)) << "xterm is not installed";
    Display* d = XOpenDisplay(nullptr);
    Window terminal = 0;
    ASSERT_TRUE(test::spinUntil([&] { return (terminal = viewableWindowTitled(d, title)) != 0; }, 10000));
    ASSERT_TRUE(test::spinUntil([&] { return std::filesystem::exists(typed); }, 10000));
    XSetInputFocus(d, terminal, RevertToParent, CurrentTime);
    XWarpPointer(d, 0, terminal, 0, 0, 0, 0, 20, 20);
    XSync(d, False);

    auto result = run.paste(text);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->keystrokeSent);
    std::string typedText;
    EXPECT_TRUE(test::spinUntil([&] { return readFile(typed, typedText) && typedText.size() >= text.size(); }, 10000));
    EXPECT_TRUE(readFile(typed, typedText));
    EXPECT_EQ(typedText, text);

    run.world.loop().advanceSeconds(2.0);
    EXPECT_EQ(run.primary->plainText(), "earlier selection");
    xterm.kill();
    xterm.waitForFinished(5000);
    XCloseDisplay(d);
}

TEST(PasteKeystrokeX11, AWaylandSessionIsNotTrustedAndKeepsTheText) {
    test::ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    PasteRun run;
    EXPECT_FALSE(run.keys->isTrusted());
    auto result = run.paste("keep me ");
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->keystrokeSent);
    run.world.loop().advanceSeconds(5);
    EXPECT_EQ(run.board->plainText(), "keep me ");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests at build time happens without an X server.
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
