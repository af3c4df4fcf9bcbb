#include "dictation/OutputService.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/InMemoryPasteboard.h"
#include "support/RecordingKeyInjector.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

namespace {

struct OutputFixture : ::testing::Test {
    test::TestWorld world;
    std::shared_ptr<test::InMemoryPasteboard> board = std::make_shared<test::InMemoryPasteboard>();
    std::shared_ptr<test::RecordingKeyInjector> keys = std::make_shared<test::RecordingKeyInjector>(board.get());
    std::shared_ptr<test::InMemoryPasteboard> primary = std::make_shared<test::InMemoryPasteboard>();
    OutputService output{board, keys, primary};
    const PasteboardSnapshot original{{"text/plain", "abc"},
                                      {"image/png", std::string("\x89PNG\r\n\x1a\n\0\0\xff", 11)},
                                      {"text/html", "<b>abc</b>"}};

    std::optional<PasteResult> paste(const std::string& text) {
        std::optional<PasteResult> result;
        output.pasteText(text, [&](PasteResult r) { result = std::move(r); });
        world.loop().advanceSeconds(OutputService::pasteDelay);
        return result;
    }
};

}  // namespace

TEST_F(OutputFixture, PastesAfterTheDelayAndRestoresEveryFormatTwoSecondsLater) {
    board->entries = original;
    std::optional<PasteResult> result;
    output.pasteText("hello ", [&](PasteResult r) { result = std::move(r); });
    EXPECT_EQ(board->plainText(), "hello ");
    world.loop().advanceSeconds(0.049);
    EXPECT_EQ(keys->pasteCount(), 0u);
    EXPECT_FALSE(result);
    world.loop().advanceSeconds(0.001);
    ASSERT_EQ(keys->pasteCount(), 1u);
    EXPECT_EQ(keys->pastedTexts[0], "hello ");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->keystrokeSent);

    world.loop().advanceSeconds(1.999);
    EXPECT_EQ(board->plainText(), "hello ");
    world.loop().advanceSeconds(0.001);
    EXPECT_EQ(board->entries, original);
    EXPECT_FALSE(output.hasPendingRestore());
}

// The xterm family pastes PRIMARY with Shift+Insert: the text goes there too, and PRIMARY comes back
// like the clipboard, unless the user selected something else meanwhile.
TEST_F(OutputFixture, AnXtermGetsShiftInsertWithTheTextInPrimaryAndBothComeBack) {
    keys->focusedWindowKeystroke = PasteKeystroke::shiftInsert;
    board->entries = original;
    primary->entries = {{"text/plain", "selected"}};
    paste("ls -l ");
    EXPECT_EQ(keys->keystrokes, std::vector{PasteKeystroke::shiftInsert});
    EXPECT_EQ(keys->pastedTexts, std::vector<std::optional<std::string>>{"ls -l "});
    EXPECT_EQ(primary->plainText(), "ls -l ");
    world.loop().advanceSeconds(2.0);
    EXPECT_EQ(board->entries, original);
    EXPECT_EQ(primary->entries, (PasteboardSnapshot{{"text/plain", "selected"}}));
    EXPECT_FALSE(output.hasPendingRestore());

    // Two dictations within the delay still end with the user's own selection; a new one is kept.
    paste("one ");
    paste("two ");
    world.loop().advanceSeconds(2.0);
    EXPECT_EQ(primary->entries, (PasteboardSnapshot{{"text/plain", "selected"}}));
    paste("three ");
    primary->userCopies({{"text/plain", "new selection"}});
    world.loop().advanceSeconds(2.0);
    EXPECT_EQ(primary->entries, (PasteboardSnapshot{{"text/plain", "new selection"}}));
    EXPECT_EQ(board->entries, original);
}

TEST_F(OutputFixture, OtherTerminalsGetCtrlShiftVAndOrdinaryWindowsCtrlVWithPrimaryLeftAlone) {
    keys->focusedWindowKeystroke = PasteKeystroke::controlShiftV;
    paste("a ");
    keys->focusedWindowKeystroke = PasteKeystroke::controlV;
    paste("b ");
    EXPECT_EQ(keys->keystrokes, (std::vector{PasteKeystroke::controlShiftV, PasteKeystroke::controlV}));
    EXPECT_EQ(primary->writes, 0);
    EXPECT_EQ(primary->reads, 0);

    EXPECT_EQ(pasteKeystrokeForWindowClass("gnome-terminal-server", "Gnome-terminal"), PasteKeystroke::controlShiftV);
    EXPECT_EQ(pasteKeystrokeForWindowClass("Alacritty", "Alacritty"), PasteKeystroke::controlShiftV);
    EXPECT_EQ(pasteKeystrokeForWindowClass("xterm", "XTerm"), PasteKeystroke::shiftInsert);
    EXPECT_EQ(pasteKeystrokeForWindowClass("urxvt", "URxvt"), PasteKeystroke::shiftInsert);
    EXPECT_EQ(pasteKeystrokeForWindowClass("gedit", "Gedit"), PasteKeystroke::controlV);
    EXPECT_EQ(pasteKeystrokeForWindowClass("", ""), PasteKeystroke::controlV);
}

TEST_F(OutputFixture, RestoreCanBeTurnedOffAndIsReadAgainAfterTheKeystroke) {
    board->entries = original;
    world.defaults().setBool("restoreClipboard", false);
    paste("one ");
    world.loop().advanceSeconds(10);
    EXPECT_EQ(board->plainText(), "one ");
    EXPECT_EQ(board->reads, 0);  // no snapshot taken at all

    world.defaults().remove("restoreClipboard");
    output.pasteText("two ", [](PasteResult) {});
    world.defaults().setBool("restoreClipboard", false);  // switched off while the paste runs
    world.loop().advanceSeconds(10);
    EXPECT_EQ(board->plainText(), "two ");
}

TEST_F(OutputFixture, RestoreDelayComesFromTheSettingAndInsaneValuesFallBackToTwoSeconds) {
    auto restoredAfter = [&](std::optional<double> stored) {
        if (stored)
            world.defaults().setDouble("clipboardRestoreDelay", *stored);
        else
            world.defaults().remove("clipboardRestoreDelay");
        board->entries = original;
        paste("x ");
        double waited = 0;
        while (board->entries != original && waited < 1000) {
            world.loop().advanceSeconds(0.25);
            waited += 0.25;
        }
        return waited;
    };
    EXPECT_DOUBLE_EQ(restoredAfter(0.5), 0.5);
    EXPECT_DOUBLE_EQ(restoredAfter(std::nullopt), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(0.0), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(-1.0), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(std::numeric_limits<double>::quiet_NaN()), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(std::numeric_limits<double>::infinity()), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(1e300), 2.0);
    EXPECT_DOUBLE_EQ(restoredAfter(600.0), 600.0);
    world.defaults().setString("clipboardRestoreDelay", "soon");
    EXPECT_DOUBLE_EQ(output.clipboardRestoreDelay(), 2.0);
}

TEST_F(OutputFixture, AUserCopyDuringTheDelayIsNeverOverwritten) {
    board->entries = original;
    paste("dictated ");
    world.loop().advanceSeconds(1);
    board->userCopies({{"text/plain", "mine"}});
    world.loop().advanceSeconds(5);
    EXPECT_EQ(board->plainText(), "mine");

    board->entries = original;
    paste("dictated ");
    board->userCopies({{"image/png", "picture"}});  // no text at all
    world.loop().advanceSeconds(5);
    EXPECT_EQ(board->entries, (PasteboardSnapshot{{"image/png", "picture"}}));
}

TEST_F(OutputFixture, AnEmptyClipboardHasNothingToRestore) {
    paste("kept ");
    world.loop().advanceSeconds(5);
    EXPECT_EQ(board->plainText(), "kept ");
    EXPECT_FALSE(output.hasPendingRestore());
}

TEST_F(OutputFixture, SecondDictationWithinTheDelayStillRestoresTheUsersOwnClipboard) {
    board->entries = original;
    paste("first ");
    world.loop().advanceSeconds(1);
    paste("second ");
    EXPECT_EQ(keys->pastedTexts.back(), "second ");
    world.loop().advanceSeconds(1.5);  // the first paste's restore time has passed
    EXPECT_EQ(board->plainText(), "second ");
    world.loop().advanceSeconds(0.5);
    EXPECT_EQ(board->entries, original);

    // When the user copied in between, the second paste's snapshot is the user's new copy.
    board->entries = original;
    paste("third ");
    board->userCopies({{"text/plain", "copied"}});
    paste("fourth ");
    world.loop().advanceSeconds(3);
    EXPECT_EQ(board->entries, (PasteboardSnapshot{{"text/plain", "copied"}}));
}

TEST_F(OutputFixture, WithoutTrustNothingIsSentAndTheTextStaysForAPasteByHand) {
    board->entries = original;
    keys->trusted = false;
    auto result = paste("by hand ");
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->keystrokeSent);
    ASSERT_TRUE(result->failureMessage);
    EXPECT_NE(result->failureMessage->find("Ctrl+V"), std::string::npos);
    EXPECT_EQ(keys->pasteCount(), 0u);
    world.loop().advanceSeconds(10);
    EXPECT_EQ(board->plainText(), "by hand ");
}

TEST_F(OutputFixture, ASnapshotThatArrivesLaterStillPrecedesTheWrite) {
    board->entries = original;
    board->deferReads = true;
    std::optional<PasteResult> result;
    output.pasteText("late ", [&](PasteResult r) { result = r; });
    EXPECT_EQ(board->entries, original);  // nothing written before the snapshot is in hand
    world.loop().advanceSeconds(0.05);
    ASSERT_TRUE(result);
    EXPECT_EQ(keys->pastedTexts.back(), "late ");
    world.loop().advanceSeconds(2);
    EXPECT_EQ(board->entries, original);
}

TEST_F(OutputFixture, AClipboardReadAheadServesThePasteOnlyWhileNothingWasCopiedSince) {
    board->entries = original;
    board->deferReads = true;
    output.prepareSnapshot();  // read while the dictation is recorded
    world.loop().runPending();
    output.prepareSnapshot();  // and again once it is being recognised: the read in hand is still current
    world.loop().runPending();
    ASSERT_EQ(board->reads, 1);
    std::optional<PasteResult> result;
    output.pasteText("ahead ", [&](PasteResult r) { result = r; });
    EXPECT_EQ(board->plainText(), "ahead ");  // written at once, not after a second read
    world.loop().advanceSeconds(0.05);
    EXPECT_TRUE(result);
    EXPECT_EQ(board->reads, 1);
    world.loop().advanceSeconds(2);
    EXPECT_EQ(board->entries, original);

    // A copy after the read began: the paste reads again, and the user's copy is what comes back.
    output.prepareSnapshot();
    board->userCopies({{"text/plain", "copied meanwhile"}});
    world.loop().runPending();
    paste("again ");
    world.loop().advanceSeconds(2);
    EXPECT_EQ(board->reads, 3);
    EXPECT_EQ(board->entries, (PasteboardSnapshot{{"text/plain", "copied meanwhile"}}));
    // A copy during the recording: the read that begins when it is being recognised is the one used.
    board->entries = original;
    output.prepareSnapshot();
    world.loop().runPending();
    board->userCopies({{"text/plain", "copied while speaking"}});
    output.prepareSnapshot();
    world.loop().runPending();
    EXPECT_EQ(board->reads, 5);
    paste("spoken ");
    world.loop().advanceSeconds(2);
    EXPECT_EQ(board->reads, 5);
    EXPECT_EQ(board->entries, (PasteboardSnapshot{{"text/plain", "copied while speaking"}}));

    // A paste that comes before the read is back waits for it.
    board->entries = original;
    output.prepareSnapshot();
    output.pasteText("early ", [&](PasteResult) {});
    EXPECT_EQ(board->entries, original);
    world.loop().advanceSeconds(2.1);
    EXPECT_EQ(board->reads, 6);
    EXPECT_EQ(board->entries, original);
}

TEST_F(OutputFixture, RestoreWritesOneItemWhereTheLaterEntryOfATypeWins) {
    OutputService::restorePasteboard({{"text/plain", "a"}, {"text/html", "h"}, {"text/plain", "b"}}, *board);
    EXPECT_EQ(board->entries, (PasteboardSnapshot{{"text/plain", "b"}, {"text/html", "h"}}));
    const int writes = board->writes;
    OutputService::restorePasteboard({}, *board);
    EXPECT_EQ(board->writes, writes);  // an empty snapshot leaves the clipboard alone
}

TEST_F(OutputFixture, DestroyingTheServiceDropsItsPendingWork) {
    board->entries = original;
    bool called = false;
    {
        OutputService shortLived{board, keys};
        shortLived.pasteText("gone ", [&](PasteResult) { called = true; });
    }
    world.loop().advanceSeconds(5);
    EXPECT_FALSE(called);
    EXPECT_EQ(keys->pasteCount(), 0u);
}
