// The shell's windows on a real X server (Xvfb): what they ask of the window manager.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <functional>
#include <optional>

#include "FakeWindowFactory.h"
#include "base/LocalizationManager.h"
#include "shell/ShellWindow.h"
#include "shell/ShellWindowController.h"
#include "support/TestEnvironment.h"

// Xlib last: its macros (Bool, Status, None) break Qt and GoogleTest headers included after it.
#include <X11/Xlib.h>

using namespace vandrel;

namespace {

// The Motif hints that window managers read for the buttons and functions a window offers.
struct MotifHints {
    unsigned long flags = 0, functions = 0, decorations = 0;

    // Without the functions field every function is offered; with MWM_FUNC_ALL the listed ones are the
    // exceptions.
    bool offersClose() const {
        constexpr unsigned long hintsFunctions = 1, funcAll = 1, funcClose = 32;
        if (!(flags & hintsFunctions)) return true;
        return (functions & funcAll) ? !(functions & funcClose) : (functions & funcClose) != 0;
    }
    bool offersMaximize() const {
        constexpr unsigned long hintsFunctions = 1, funcAll = 1, funcMaximize = 16;
        if (!(flags & hintsFunctions)) return true;
        return (functions & funcAll) ? !(functions & funcMaximize) : (functions & funcMaximize) != 0;
    }
    // Some window managers draw every button on any title bar; only a frame without one has none.
    bool asksForATitleBar() const {
        constexpr unsigned long hintsDecorations = 2, decorAll = 1, decorTitle = 8;
        return !(flags & hintsDecorations) || (decorations & (decorAll | decorTitle));
    }
};

std::optional<MotifHints> motifHints(Display* d, unsigned long window) {
    const Atom atom = XInternAtom(d, "_MOTIF_WM_HINTS", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::optional<MotifHints> hints;
    if (XGetWindowProperty(d, window, atom, 0, 5, False, AnyPropertyType, &type, &format, &count, &remaining, &data) ==
            Success &&
        data && format == 32 && count >= 3) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        hints = MotifHints{values[0], values[1], values[2]};
    }
    if (data) XFree(data);
    return hints;
}

// Waits until Qt has put the window on the server with its hints.
std::optional<MotifHints> serverHints(Display* d, QWidget* window) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (auto hints = motifHints(d, window->winId())) return hints;
        if (t.elapsed() > 5000) return std::nullopt;
    }
}

}  // namespace

// The guide ends only with its own button, so its title bar must not offer a close button that would do
// nothing; the settings window keeps its close button.
TEST(ShellWindowsX11, TheGuideAsksTheWindowManagerForNoCloseButton) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "needs an X server (DISPLAY)";
    {
        test::TestWorld world;
        test::FakeWindowFactory factory;
        ShellWindowController windows(factory, world.defaults(), "1.0.27");
        windows.showOnboardingWindow();
        windows.openSettingsWindow(std::nullopt);

        const auto guide = serverHints(d, windows.onboardingWindow());
        ASSERT_TRUE(guide);
        EXPECT_FALSE(guide->offersClose()) << guide->flags << " " << guide->functions;
        EXPECT_FALSE(guide->offersMaximize()) << guide->flags << " " << guide->functions;
        EXPECT_FALSE(guide->asksForATitleBar()) << guide->flags << " " << guide->decorations;
        const auto settings = serverHints(d, windows.settingsWindow());
        ASSERT_TRUE(settings);
        EXPECT_TRUE(settings->offersClose()) << settings->flags << " " << settings->functions;
        windows.onboardingWindow()->close();
        windows.settingsWindow()->close();
    }
    XCloseDisplay(d);
}

// The window manager's close request (its ✕, Alt+F4) as it arrives: a WM_DELETE_WINDOW message. The guide
// stays and says why, once however often it is asked; the settings window closes.
TEST(ShellWindowsX11, TheGuideAnswersACloseRequestInItsWindowOnce) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "needs an X server (DISPLAY)";
    {
        test::TestWorld world;
        test::FakeWindowFactory factory;
        ShellWindowController windows(factory, world.defaults(), "1.0.27");
        windows.showOnboardingWindow();
        windows.openSettingsWindow(std::nullopt);
        QPointer<ShellWindow> guide = windows.onboardingWindow();
        QPointer<ShellWindow> settings = windows.settingsWindow();
        ASSERT_TRUE(serverHints(d, guide) && serverHints(d, settings));
        const auto askToClose = [d](QWidget* w) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w->winId();
            e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, w->winId(), False, NoEventMask, &e);
            XFlush(d);
        };
        const auto processEventsUntil = [](const std::function<bool()>& done) {
            QElapsedTimer t;
            t.start();
            while (!done() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        };
        ASSERT_NE(guide->refusedCloseLabel(), nullptr);
        EXPECT_FALSE(guide->refusedCloseLabel()->isVisible());
        askToClose(guide);
        processEventsUntil([&] { return guide->refusedCloseLabel()->isVisible(); });
        EXPECT_TRUE(guide->refusedCloseLabel()->isVisible());
        EXPECT_TRUE(guide->refusedCloseLabel()->text().contains("Get Started"));
        askToClose(guide);
        askToClose(settings);
        processEventsUntil([&] { return settings.isNull(); });
        EXPECT_TRUE(settings.isNull());
        ASSERT_FALSE(guide.isNull());
        EXPECT_TRUE(guide->isVisible());
        const auto notices = guide->findChildren<QLabel*>("refusedCloseNotice");
        EXPECT_EQ(notices.size(), 1);
        // The notice follows the interface language.
        world.defaults().setString("appLanguage", "de");
        windows.retitleWindows();
        EXPECT_TRUE(guide->refusedCloseLabel()->text().contains("Los geht"))
            << guide->refusedCloseLabel()->text().toStdString();
        world.defaults().setString("appLanguage", "en");
        guide->close();
    }
    XCloseDisplay(d);
}

int main(int argc, char** argv) {
    // Without a display (listing the tests at build time) it starts off screen; the test then reports
    // the missing server itself.
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
