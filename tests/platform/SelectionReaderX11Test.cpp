// Reading the clipboard from its owner on a worker thread, against a real X server (Xvfb).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "platform/ClipboardOwnerBytes.h"
#include "platform/X11TestSupport.h"
#include "platform/x11/SelectionReader.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using x11::SelectionReader;
using x11::SelectionTarget;
using namespace std::chrono_literals;

namespace {

// A clipboard owner written straight on Xlib, on a thread of its own, that answers exactly as
// scripted: targets missing from `answers` are listed but never answered.
class ScriptedOwner {
public:
    ScriptedOwner(std::vector<std::string> targets, std::map<std::string, std::string> answers)
        : m_targetNames(std::move(targets)), m_answers(std::move(answers)) {
        m_display = XOpenDisplay(nullptr);
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        m_clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        XSetSelectionOwner(m_display, m_clipboard, m_window, CurrentTime);
        XSync(m_display, False);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedOwner() {
        m_stop = true;
        m_thread.join();
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    std::vector<std::string> requested() {
        std::lock_guard lock(m_mutex);
        return m_requested;
    }

private:
    void serve() {
        while (!m_stop) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == SelectionRequest) answer(event.xselectionrequest);
            }
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            ::poll(&fd, 1, 20);
        }
    }
    void answer(const XSelectionRequestEvent& request) {
        char* raw = XGetAtomName(m_display, request.target);
        const std::string target = raw;
        XFree(raw);
        {
            std::lock_guard lock(m_mutex);
            m_requested.push_back(target);
        }
        if (target == "TARGETS") {
            std::vector<Atom> atoms;
            for (const auto& name : m_targetNames) atoms.push_back(XInternAtom(m_display, name.c_str(), False));
            XChangeProperty(m_display, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
        } else if (auto it = m_answers.find(target); it != m_answers.end()) {
            XChangeProperty(m_display, request.requestor, request.property, request.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(it->second.data()),
                            static_cast<int>(it->second.size()));
        } else {
            return;  // silence
        }
        XEvent notify{};
        notify.xselection.type = SelectionNotify;
        notify.xselection.requestor = request.requestor;
        notify.xselection.selection = request.selection;
        notify.xselection.target = request.target;
        notify.xselection.property = request.property;
        notify.xselection.time = request.time;
        XSendEvent(m_display, request.requestor, False, 0, &notify);
        XFlush(m_display);
    }

    std::vector<std::string> m_targetNames;
    std::map<std::string, std::string> m_answers;
    Display* m_display;
    Window m_window;
    Atom m_clipboard;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requested;
    std::thread m_thread;
};

// Leaves CLIPBOARD without an owner.
void clearClipboard() {
    Display* d = XOpenDisplay(nullptr);
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), None, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
}

std::vector<std::string> names(const std::vector<SelectionTarget>& targets) {
    std::vector<std::string> out;
    for (const auto& t : targets) out.push_back(t.target);
    return out;
}

}  // namespace

TEST(SelectionReaderX11, AnEmptyClipboardGivesAnEmptySnapshotOnTheMainLoop) {
    clearClipboard();
    EXPECT_TRUE(SelectionReader::readTargets({}).empty());

    test::TestWorld world;
    SelectionReader reader;
    std::optional<PasteboardSnapshot> snapshot;
    reader.read([&](PasteboardSnapshot s) { snapshot = std::move(s); });
    EXPECT_FALSE(snapshot) << "delivered before read() returned";
    ASSERT_TRUE(world.loop().runUntil([&] { return snapshot.has_value(); }));
    EXPECT_TRUE(snapshot->empty());
}

TEST(SelectionReaderX11, EveryContentTargetIsAskedForOnceInTheOwnersOrder) {
    ScriptedOwner owner({"TARGETS", "TIMESTAMP", "MULTIPLE", "UTF8_STRING", "text/html", "INSERT_SELECTION",
                         "text/uri-list", "UTF8_STRING", "SAVE_TARGETS", "image/x-empty"},
                        {{"UTF8_STRING", "grüß"},
                         {"text/html", "<b>x</b>"},
                         {"text/uri-list", "file:///a\r\n"},
                         {"image/x-empty", ""}});
    const auto targets = SelectionReader::readTargets({});
    EXPECT_EQ(names(targets), (std::vector<std::string>{"UTF8_STRING", "text/html", "text/uri-list", "image/x-empty"}));
    EXPECT_EQ(owner.requested(),
              (std::vector<std::string>{"TARGETS", "UTF8_STRING", "text/html", "text/uri-list", "image/x-empty"}));
    EXPECT_EQ(
        SelectionReader::toSnapshot(targets),
        (PasteboardSnapshot{{"text/plain", "grüß"}, {"text/html", "<b>x</b>"}, {"text/uri-list", "file:///a\r\n"}}));
}

TEST(SelectionReaderX11, ATargetTheOwnerNeverAnswersIsLeftOutAndTheRestStillArrive) {
    ScriptedOwner owner({"TARGETS", "text/html", "image/x-never", "UTF8_STRING"},
                        {{"text/html", "<i>h</i>"}, {"UTF8_STRING", "after the silence"}});
    const auto targets = SelectionReader::readTargets({.overall = 10000ms, .perTarget = 1000ms});
    EXPECT_EQ(targets, (std::vector<SelectionTarget>{{"text/html", "<i>h</i>"}, {"UTF8_STRING", "after the silence"}}));
}

TEST(SelectionReaderX11, TheOverallDeadlineEndsTheReadWithWhatHasArrived) {
    ScriptedOwner owner({"TARGETS", "text/html", "image/x-never", "UTF8_STRING"}, {{"text/html", "<i>h</i>"}});
    const auto targets = SelectionReader::readTargets({.overall = 2000ms, .perTarget = 60000ms});
    EXPECT_EQ(targets, (std::vector<SelectionTarget>{{"text/html", "<i>h</i>"}}));
    EXPECT_EQ(owner.requested(), (std::vector<std::string>{"TARGETS", "text/html", "image/x-never"}))
        << "targets after the deadline must not be asked for";
}

TEST(SelectionReaderX11, AnOwnerThatNeverAnswersGivesAnEmptySnapshot) {
    Display* silent = XOpenDisplay(nullptr);
    const Window window = XCreateSimpleWindow(silent, DefaultRootWindow(silent), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent, XInternAtom(silent, "CLIPBOARD", False), window, CurrentTime);
    XSync(silent, False);

    test::TestWorld world;
    SelectionReader reader({.overall = 300ms, .perTarget = 300ms});
    std::optional<PasteboardSnapshot> snapshot;
    reader.read([&](PasteboardSnapshot s) { snapshot = std::move(s); });
    EXPECT_TRUE(world.loop().runUntil([&] { return snapshot.has_value(); }));
    EXPECT_EQ(snapshot, PasteboardSnapshot{});
    XCloseDisplay(silent);
}

TEST(SelectionReaderX11, AReaderDestroyedDuringARead) {
    Display* silent = XOpenDisplay(nullptr);
    const Window window = XCreateSimpleWindow(silent, DefaultRootWindow(silent), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent, XInternAtom(silent, "CLIPBOARD", False), window, CurrentTime);
    XSync(silent, False);

    test::TestWorld world;
    bool delivered = false;
    {
        SelectionReader reader({.overall = 300ms, .perTarget = 300ms});
        reader.read([&](PasteboardSnapshot) { delivered = true; });
    }
    world.loop().runPending();
    EXPECT_FALSE(delivered) << "the result of a read must not reach an owner that is gone";
    XCloseDisplay(silent);
}

TEST(SelectionReaderX11, ALargeFormatFromAnotherProcessArrivesWholeInPieces) {
    // Above the X server's largest request (16 MB with BIG-REQUESTS), so the owner must send it in
    // pieces (INCR).
    constexpr std::size_t kSize = 20u << 20;
    QProcess owner;
    owner.start(test::clipboardOwnerPath(), {"own-bytes", "image/x-test-raw", QString::number(kSize), "caption"});
    QByteArray output;
    ASSERT_TRUE(test::spinUntil([&] { return (output += owner.readAllStandardOutput()).contains("ready"); }, 10000));

    test::TestWorld world;
    SelectionReader reader({.overall = 20000ms, .perTarget = 5000ms});
    std::optional<PasteboardSnapshot> snapshot;
    reader.read([&](PasteboardSnapshot s) { snapshot = std::move(s); });
    ASSERT_TRUE(world.loop().runUntil([&] { return snapshot.has_value(); }, 30s));
    owner.kill();
    owner.waitForFinished();

    const auto find = [&](const std::string& type) -> const PasteboardEntry* {
        for (const auto& e : *snapshot)
            if (e.type == type) return &e;
        return nullptr;
    };
    ASSERT_TRUE(find("text/plain"));
    EXPECT_EQ(find("text/plain")->data, "caption");
    const PasteboardEntry* large = find("image/x-test-raw");
    ASSERT_TRUE(large);
    ASSERT_EQ(large->data.size(), kSize);
    EXPECT_TRUE(large->data == test::ownerBytes(kSize)) << "the pieces were not joined in order";
}

TEST(SelectionSnapshot, TextTargetsBecomeOnePlainTextInUtf8) {
    // UTF8_STRING wins wherever it is listed; STRING is Latin-1 and is converted.
    EXPECT_EQ(SelectionReader::toSnapshot({{"STRING", "caf\xe9"}, {"text/html", "<p>"}, {"UTF8_STRING", "café"}}),
              (PasteboardSnapshot{{"text/plain", "café"}, {"text/html", "<p>"}}));
    EXPECT_EQ(SelectionReader::toSnapshot({{"TEXT", "x"}, {"STRING", "caf\xe9"}}),
              (PasteboardSnapshot{{"text/plain", "café"}}));
    // A text target that is not UTF-8 after all does not become text.
    EXPECT_EQ(SelectionReader::toSnapshot({{"TEXT", "\xff\xfe"}, {"image/png", "P"}}),
              (PasteboardSnapshot{{"image/png", "P"}}));
    // Server resource handles and Qt's image handle are not content.
    EXPECT_EQ(SelectionReader::toSnapshot({{"PIXMAP", "1234"}, {"application/x-qt-image", "P"}, {"image/png", "P"}}),
              (PasteboardSnapshot{{"image/png", "P"}}));
}

TEST(SelectionSnapshot, BookkeepingTargets) {
    for (const char* t :
         {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "DELETE", "INSERT_PROPERTY", "INSERT_SELECTION"})
        EXPECT_TRUE(SelectionReader::isBookkeepingTarget(t)) << t;
    for (const char* t : {"UTF8_STRING", "text/plain", "image/png", "INSERT"})
        EXPECT_FALSE(SelectionReader::isBookkeepingTarget(t)) << t;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
