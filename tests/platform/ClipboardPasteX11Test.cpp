// The clipboard and the paste keystroke on a real X server (Xvfb).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProcess>

#include "dictation/OutputService.h"
#include "platform/X11TestSupport.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/x11/XTestKeyInjector.h"
#include "support/TestEnvironment.h"

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
    OutputService output{board, keys};

    std::optional<PasteResult> paste(const std::string& text) {
        std::optional<PasteResult> result;
        output.pasteText(text, [&](PasteResult r) { result = r; });
        // The snapshot of another process's clipboard arrives from a worker thread in real time.
        world.loop().runUntil([&] { return board->plainText() == text; });
        world.loop().advanceSeconds(OutputService::pasteDelay);
        return result;
    }
};

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
