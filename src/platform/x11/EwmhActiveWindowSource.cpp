#include "platform/x11/EwmhActiveWindowSource.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdio>

#include "base/MainLoop.h"
#include "platform/x11/DisplayEventThread.h"
#include "platform/x11/XDisplay.h"

namespace vandrel::x11 {

namespace {

std::optional<RunningApplication> readActive(Display* d) {
    const Atom activeAtom = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    const auto window = readCardinal(d, DefaultRootWindow(d), activeAtom, XA_WINDOW);
    if (!window || *window == 0) return std::nullopt;
    RunningApplication app;
    app.window = *window;
    // The window may already be gone; then it names no process.
    if (auto pid = readCardinal(d, static_cast<Window>(*window), pidAtom, XA_CARDINAL))
        app.processId = static_cast<std::int64_t>(*pid);
    XSync(d, False);
    takeTrappedError();
    return app;
}

}  // namespace

struct EwmhActiveWindowSource::Impl {
    struct Delivery {
        std::atomic<bool> active{true};
        std::function<void(std::optional<RunningApplication>)> onActivated;
    };
    Display* query = nullptr;  // main-thread requests
    std::unique_ptr<DisplayEventThread> thread;
    std::shared_ptr<Delivery> delivery;
    Atom activeAtom = 0;
};

EwmhActiveWindowSource::EwmhActiveWindowSource() : m_impl(std::make_unique<Impl>()) {
    installErrorTrap();
    m_impl->query = XOpenDisplay(nullptr);
}

EwmhActiveWindowSource::~EwmhActiveWindowSource() {
    stop();
    if (m_impl->query) XCloseDisplay(m_impl->query);
}

std::optional<RunningApplication> EwmhActiveWindowSource::activeApplication() {
    if (!m_impl->query) return std::nullopt;
    return readActive(m_impl->query);
}

EwmhActiveWindowSource::ClientFocus EwmhActiveWindowSource::clientFocus() {
    Display* d = m_impl->query;
    if (!d) return {false, "no X server"};
    const auto app = readActive(d);
    if (!app) return {false, "no active X11 window"};
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(app->window));
    std::string windowClass;
    XClassHint hint{};
    if (XGetClassHint(d, static_cast<Window>(app->window), &hint)) {
        if (hint.res_class) windowClass = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    XSync(d, False);
    takeTrappedError();
    if (!app->processId && windowClass.empty())
        return {false, std::string("the active X11 window ") + id + " is no client's (no _NET_WM_PID, no WM_CLASS)"};
    return {true, std::string("X11 window ") + id + (windowClass.empty() ? "" : " (" + windowClass + ")")};
}

bool EwmhActiveWindowSource::start(std::function<void(std::optional<RunningApplication>)> onActivated) {
    stop();
    auto thread = std::make_unique<DisplayEventThread>();
    if (!thread->isOpen()) return false;
    Display* d = thread->display();
    m_impl->activeAtom = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    auto delivery = std::make_shared<Impl::Delivery>();
    delivery->onActivated = std::move(onActivated);
    m_impl->delivery = delivery;
    MainLoop* loop = &MainLoop::current();
    const Atom activeAtom = m_impl->activeAtom;
    thread->start([d, loop, delivery, activeAtom](XEvent& e) {
        if (e.type != PropertyNotify || e.xproperty.atom != activeAtom) return;
        auto app = readActive(d);
        loop->post([delivery, app] {
            if (delivery->active.load()) delivery->onActivated(app);
        });
    });
    m_impl->thread = std::move(thread);
    return true;
}

void EwmhActiveWindowSource::stop() {
    if (m_impl->delivery) m_impl->delivery->active = false;
    m_impl->thread.reset();
    m_impl->delivery.reset();
}

bool EwmhActiveWindowSource::activate(const RunningApplication& app) {
    Display* d = m_impl->query;
    if (!d || app.window == 0) return false;
    XWindowAttributes attributes;
    takeTrappedError();
    const Status exists = XGetWindowAttributes(d, static_cast<Window>(app.window), &attributes);
    if (takeTrappedError() || !exists) return false;

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(app.window);
    event.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    // Source 2: the request comes straight from the user (their hotkey), so focus-stealing prevention
    // has no reason to refuse it.
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = 0;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(d);
    return true;
}

}  // namespace vandrel::x11
