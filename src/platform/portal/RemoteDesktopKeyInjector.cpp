#include "platform/portal/RemoteDesktopKeyInjector.h"

#include <QDBusObjectPath>
#include <algorithm>
#include <memory>
#include <utility>

#include "base/Log.h"
#include "base/PasteTiming.h"
#include "base/UserDefaults.h"
#include "platform/portal/PortalDefaults.h"

namespace vandrel::portal {
namespace {

// Linux input event codes: positional, like the keycodes the X11 path sends.
constexpr int kLeftCtrl = 29;
constexpr int kLeftShift = 42;
constexpr int kV = 47;
constexpr int kInsert = 110;
// Fn: keyboards keep it to themselves, so nothing binds it, and unlike a key without a symbol GTK hands it to
// Wayland windows, whose lone Alt it has to spoil.
constexpr int kFn = 464;

// Permissions kept until the user withdraws them, so the restore token outlives this run.
constexpr std::uint32_t kPersistUntilRevoked = 2;
// A property the portal answers itself, at once.
constexpr int kVersionAnswerMs = 2000;

std::vector<std::pair<int, std::uint32_t>> keyEvents(PasteKeystroke keystroke) {
    switch (keystroke) {
        case PasteKeystroke::controlShiftV:
            return {{kLeftCtrl, 1}, {kLeftShift, 1}, {kV, 1}, {kV, 0}, {kLeftShift, 0}, {kLeftCtrl, 0}};
        case PasteKeystroke::shiftInsert:
            return {{kLeftShift, 1}, {kInsert, 1}, {kInsert, 0}, {kLeftShift, 0}};
        case PasteKeystroke::controlV:
            break;
    }
    return {{kLeftCtrl, 1}, {kV, 1}, {kV, 0}, {kLeftCtrl, 0}};
}

}  // namespace

RemoteDesktopKeyInjector::RemoteDesktopKeyInjector(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_client(std::move(bus)) {
    m_keyAnswerDeadline.setSingleShot(true);
    m_keyAnswerDeadline.setInterval(keyAnswerMs);
    connect(&m_keyAnswerDeadline, &QTimer::timeout, this, [this] {
        // Stuck: the paste has failed, but its releases wait for this answer so as not to overtake it.
        log("Platform", "paste: the RemoteDesktop portal does not answer a key event");
        if (m_inFlight && m_inFlight->stroke) failStroke(m_inFlight->stroke);
    });
    m_vanished = m_client.vanished.connect([this] {
        m_session.clear();
        finish(Outcome::gone);
    });
    m_closed = m_client.sessionClosed.connect([this](const QString& handle) {
        // The user stopped the sharing from the desktop's own controls, or the desktop dropped the session
        // while its question was still open: the next paste asks again. Answers still on their way
        // belong to the closed session and are dropped.
        if (handle.isEmpty()) return;
        if (handle == m_session) {
            log("Platform", "paste: the desktop closed the remote-desktop session");
            m_session.clear();
        } else if (m_attempt && handle == m_attempt->session) {
            log("Platform", "paste: the desktop closed the remote-desktop session while it asked");
            finish(Outcome::gone);
        }
    });
}

RemoteDesktopKeyInjector::~RemoteDesktopKeyInjector() {
    m_client.closeSession(m_session);
    if (m_attempt) m_client.closeSession(m_attempt->session);
}

bool RemoteDesktopKeyInjector::isTrusted() const { return !m_refused; }

bool RemoteDesktopKeyInjector::hasConsent() const {
    if (m_refused) return false;
    return hasSession() || !UserDefaults::standard().get(kRemoteDesktopRestoreToken).empty();
}

void RemoteDesktopKeyInjector::sendPaste(PasteKeystroke keystroke, std::function<void(bool posted)> done) {
    if (m_refused) {
        if (done) done(false);
        return;
    }
    if (hasSession()) {
        if (!m_settling.empty())
            m_settling.push_back({keystroke, std::move(done)});
        else
            post(keystroke, std::move(done));
        return;
    }
    const auto id = ++m_waitingCount;
    m_waiting.push_back(
        {keystroke, std::move(done), id,
         MainLoop::current().singleShot(seconds(consentAnswerSeconds), [this, id] { consentUnanswered(id); }),
         focusedWindow()});
    if (!m_attempt) startSession();
}

bool RemoteDesktopKeyInjector::sendMaskKey(std::string& whyNot) {
    // Never a session (and the desktop's question) for this alone: the first paste asks.
    if (m_refused || m_session.isEmpty()) {
        whyNot = m_refused ? "the desktop refused the RemoteDesktop keyboard"
                           : "not until the desktop grants the RemoteDesktop keyboard, which the first paste asks for";
        return false;
    }
    // Nobody waits for these, and in the queue the release follows its press whatever becomes of them.
    m_keys.push_back({m_session, kFn, 1, nullptr});
    m_keys.push_back({m_session, kFn, 0, nullptr});
    sendNextKey();
    return true;
}

void RemoteDesktopKeyInjector::consentUnanswered(std::uint64_t id) {
    const auto it = std::find_if(m_waiting.begin(), m_waiting.end(), [id](const Waiting& w) { return w.id == id; });
    if (it == m_waiting.end()) return;
    auto done = std::move(it->done);
    m_waiting.erase(it);
    // The question stays open on the desktop: its answer, whenever it comes, decides the next paste.
    log("Platform", "paste: the desktop's question about the keyboard is unanswered; the text stays on the clipboard");
    if (done) done(false);
}

RemoteDesktopKeyInjector::Attempt* RemoteDesktopKeyInjector::current(std::uint64_t attempt) {
    return m_attempt && m_attempt->number == attempt ? &*m_attempt : nullptr;
}

void RemoteDesktopKeyInjector::startSession() {
    const auto number = ++m_attempts;
    m_attempt = Attempt{number, m_client.newToken(), std::nullopt, {}};
    // Version 2 keeps a grant across starts (xdg-desktop-portal 1.17 and later); version 1 knows neither
    // persist_mode nor restore_token. Asked beside the session, so that a stalled portal costs only the
    // session's own bound.
    m_client.readProperty(
        interfaceName, "version",
        [this, number](const QVariant& version) {
            auto* attempt = current(number);
            if (!attempt) return;
            attempt->version = version.toUInt();
            if (!attempt->session.isEmpty()) selectDevices(*attempt);
        },
        kVersionAnswerMs);
    m_client.request(interfaceName, "CreateSession", {}, {{"session_handle_token", m_attempt->sessionToken}},
                     [this, number](std::uint32_t response, const QVariantMap& results) {
                         const QString session = PortalClient::sessionHandle(results);
                         auto* attempt = current(number);
                         if (!attempt) {
                             // Its pastes are gone (the portal left meanwhile, say): no question for nobody.
                             if (response == PortalRequest::success) m_client.closeSession(session);
                             return;
                         }
                         if (response != PortalRequest::success || session.isEmpty()) {
                             finish(response == PortalRequest::noAnswer ? Outcome::unanswered : Outcome::failed);
                             return;
                         }
                         attempt->session = session;
                         m_client.watchSession(session);
                         if (attempt->version) selectDevices(*attempt);
                     });
}

void RemoteDesktopKeyInjector::selectDevices(const Attempt& attempt) {
    QVariantMap options{{"types", keyboardDevice}};
    if (attempt.version.value_or(0) >= 2) {
        options.insert("persist_mode", kPersistUntilRevoked);
        const std::string token = UserDefaults::standard().get(kRemoteDesktopRestoreToken);
        if (!token.empty()) options.insert("restore_token", QString::fromStdString(token));
    }
    const auto number = attempt.number;
    m_client.request(interfaceName, "SelectDevices", {QVariant::fromValue(QDBusObjectPath(attempt.session))}, options,
                     [this, number](std::uint32_t response, const QVariantMap&) {
                         auto* attempt = current(number);
                         if (!attempt) return;
                         if (response == PortalRequest::success)
                             start(*attempt);
                         else if (response == PortalRequest::cancelled)
                             finish(Outcome::refused);
                         else
                             finish(response == PortalRequest::noAnswer ? Outcome::unanswered : Outcome::failed);
                     });
}

void RemoteDesktopKeyInjector::start(const Attempt& attempt) {
    // The consent question, unless the restore token answers it.
    const auto number = attempt.number;
    m_client.request(
        interfaceName, "Start", {QVariant::fromValue(QDBusObjectPath(attempt.session)), QString()}, {},
        [this, number](std::uint32_t response, const QVariantMap& results) {
            if (!current(number)) return;
            const bool keyboard = results.value("devices").toUInt() & keyboardDevice;
            if (response == PortalRequest::cancelled || (response == PortalRequest::success && !keyboard)) {
                finish(Outcome::refused);
                return;
            }
            if (response != PortalRequest::success) {
                finish(response == PortalRequest::noAnswer ? Outcome::unanswered : Outcome::failed);
                return;
            }
            // Single use: the token we sent is spent, the new one restores the next start.
            const QString token = results.value("restore_token").toString();
            if (!token.isEmpty()) UserDefaults::standard().set(kRemoteDesktopRestoreToken, token.toStdString());
            finish(Outcome::granted);
        },
        PortalClient::questionAnswerSeconds);
}

void RemoteDesktopKeyInjector::finish(Outcome outcome) {
    auto attempt = std::exchange(m_attempt, std::nullopt);
    if (!attempt) return;
    if (outcome == Outcome::granted) {
        m_session = attempt->session;
        log("Platform", "paste: the desktop granted the keyboard of the RemoteDesktop portal");
        flushWaiting(true);
        return;
    }
    // A CreateSession left unanswered may still have opened its session in the portal. A portal that left took
    // its sessions along, and the one now on the bus must get our registration before any other call.
    if (outcome != Outcome::gone)
        m_client.closeSession(attempt->session.isEmpty() ? m_client.sessionHandleFor(attempt->sessionToken)
                                                         : attempt->session);
    switch (outcome) {
        case Outcome::refused:
            m_refused = true;
            // Said once: every later paste leaves its text on the clipboard without asking again.
            log("Platform", "paste: the desktop refused the keyboard; dictated text stays on the clipboard");
            consentRefused.emit();
            break;
        case Outcome::unanswered:
            log("Platform", "paste: the RemoteDesktop portal did not answer in time; the next paste asks again");
            break;
        case Outcome::gone:
            log("Platform", "paste: the remote-desktop session went before it started; the next paste asks again");
            break;
        case Outcome::failed:
        case Outcome::granted:
            log("Platform", "paste: the RemoteDesktop portal did not start a session");
            break;
    }
    flushWaiting(false);
}

void RemoteDesktopKeyInjector::flushWaiting(bool started) {
    auto waiting = std::exchange(m_waiting, {});
    std::vector<Settling> granted;
    std::optional<std::uint64_t> target;
    for (auto& w : waiting) {
        w.consentDeadline.cancel();
        if (started) {
            if (granted.empty()) target = w.focusedWindow;
            granted.push_back({w.keystroke, std::move(w.done)});
        } else if (w.done) {
            w.done(false);
        }
    }
    if (!granted.empty()) settle(std::move(granted), target);
}

std::optional<std::uint64_t> RemoteDesktopKeyInjector::focusedWindow() const {
    return m_focus.focusedWindow ? m_focus.focusedWindow() : std::nullopt;
}

void RemoteDesktopKeyInjector::settle(std::vector<Settling> pastes, std::optional<std::uint64_t> target) {
    for (auto& p : pastes) m_settling.push_back(std::move(p));
    // Without a watch nobody asked us to wait; where the focus was never lost (a grant without a dialog),
    // nothing waits either.
    if (!m_focus.focusedWindow || (target && focusedWindow() == target)) {
        settled();
        return;
    }
    if (target && m_focus.onChange) {
        m_focusChanged = m_focus.onChange([this, target] {
            if (focusedWindow() == target) settled();
        });
    }
    const bool known = target && m_focus.onChange;
    m_settleDeadline =
        MainLoop::current().singleShot(seconds(known ? focusReturnSeconds : focusSettleSeconds), [this, known] {
            if (known)
                log("Platform",
                    "paste: the focus did not come back to the window "
                    "after the desktop's question; pasting regardless");
            settled();
        });
}

void RemoteDesktopKeyInjector::settled() {
    m_focusChanged.disconnect();
    m_settleDeadline.cancel();
    for (auto& p : std::exchange(m_settling, {})) post(p.keystroke, std::move(p.done));
}

void RemoteDesktopKeyInjector::post(PasteKeystroke keystroke, std::function<void(bool)> done) {
    const auto events = keyEvents(keystroke);
    auto stroke = std::make_shared<Stroke>();
    stroke->session = m_session;
    stroke->done = std::move(done);
    stroke->unanswered = events.size();
    for (const auto& [keycode, state] : events) m_keys.push_back({stroke->session, keycode, state, stroke});
    sendNextKey();
}

void RemoteDesktopKeyInjector::sendNextKey() {
    // xdg-desktop-portal hands each call to a worker thread of its own, so calls sent back to back reach
    // the desktop in any order: a release could overtake its press and leave the key down (GNOME 43's mutter
    // got V's release before its press from four calls sent back to back). Each event goes out only once
    // the one before it was answered.
    while (!m_inFlight && !m_keys.empty()) {
        auto event = std::move(m_keys.front());
        m_keys.pop_front();
        if (event.session.isEmpty() || event.session != m_session) {
            // That session is gone, and with it whatever it held down.
            if (event.stroke) failStroke(event.stroke);
            continue;
        }
        if (event.stroke) {
            auto& down = event.stroke->down;
            if (event.state)
                down.push_back(event.keycode);
            else
                down.erase(std::remove(down.begin(), down.end(), event.keycode), down.end());
        }
        const auto session = QVariant::fromValue(QDBusObjectPath(event.session));
        const int keycode = event.keycode;
        const std::uint32_t state = event.state;
        m_inFlight = std::move(event);
        m_keyAnswerDeadline.start();
        m_client.call(
            interfaceName, "NotifyKeyboardKeycode", {session, QVariantMap{}, keycode, state},
            [this](bool ok) { keyAnswered(ok); }, keyCallTimeoutMs);
    }
}

void RemoteDesktopKeyInjector::keyAnswered(bool ok) {
    pasteTiming::stamp("key");
    m_keyAnswerDeadline.stop();
    auto event = std::exchange(m_inFlight, std::nullopt);
    if (!event) return;
    if (!ok && !m_session.isEmpty() && event->session == m_session) {
        if (event->stroke) failStroke(event->stroke);
        endSession();
    } else if (event->stroke) {
        auto stroke = event->stroke;
        if (!ok) {
            failStroke(stroke);
        } else if (!stroke->finished && --stroke->unanswered == 0) {
            stroke->finished = true;
            if (auto done = std::exchange(stroke->done, nullptr)) done(true);
        }
    }
    sendNextKey();
}

void RemoteDesktopKeyInjector::endSession() {
    // Whether the portal passed that key on is unknown, and a release sent now could still overtake it in the
    // portal's threads. Closed, the session takes whatever it holds down along (the compositor removes its
    // device); the strokes behind it would only wait for the same portal, so they fail now.
    log("Platform", "paste: the RemoteDesktop portal did not take a key event; its session is closed");
    m_client.closeSession(std::exchange(m_session, QString()));
    for (const auto& event : std::exchange(m_keys, {}))
        if (event.stroke) failStroke(event.stroke);
    m_keys.clear();  // the releases of those strokes, for a session that is no more
}

void RemoteDesktopKeyInjector::failStroke(const std::shared_ptr<Stroke>& stroke) {
    if (stroke->finished) return;
    stroke->finished = true;
    std::erase_if(m_keys, [&](const KeyEvent& e) { return e.stroke == stroke; });
    // Release what went down, the last pressed first, ahead of any later paste.
    for (const int keycode : stroke->down) m_keys.push_front({stroke->session, keycode, 0, nullptr});
    stroke->down.clear();
    log("Platform", "paste: the keystroke did not go through; the text stays on the clipboard");
    if (auto done = std::exchange(stroke->done, nullptr)) done(false);
}

}  // namespace vandrel::portal
