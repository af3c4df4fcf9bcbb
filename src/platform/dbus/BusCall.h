#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <QVariant>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace vandrel::dbus {

// Every D-Bus method call of ours goes out through ask(). The peers on a bus (portals, logind, KWin, the
// applications on the accessibility bus, the bus daemon itself) stall, restart and leave: nothing here
// waits, each call carries its own bound, and its outcome comes back once, on the main loop, to a receiver
// that still exists. Main thread only.
class BusCall {
public:
    // What came of a call: the peer's reply, its error, or an error of QtDBus's own when the bound ran
    // out, the peer left before it answered or the connection is gone.
    struct Answer {
        QDBusMessage message;

        bool ok() const { return message.type() == QDBusMessage::ReplyMessage; }
        // Nobody said anything: asked again later, the peer may well answer. An error the peer gave is an
        // answer.
        bool unanswered() const;
        QDBusError error() const { return QDBusError(message); }
        // The reply's argument at `index`; invalid for an error or a missing argument.
        QVariant argument(int index = 0) const;
        // A property's value from a Properties.Get reply (the variant unwrapped); invalid otherwise.
        QVariant property() const;
        // "name: message" of the error, for the log.
        std::string describeError() const;
    };
    using Done = std::function<void(const Answer&)>;

    // A call's answer as far as it has come. For start-up choices that must be made before the main loop
    // runs: they take what has arrived, and never wait for the rest.
    class Pending {
    public:
        Pending() = default;
        // The answer, once QtDBus's own thread received it (or the bound ran out); empty until then.
        std::optional<Answer> peek() const;

    private:
        friend class BusCall;
        explicit Pending(QDBusPendingCall call) : m_call(std::move(call)) {}
        explicit Pending(Answer answer) : m_answer(std::move(answer)) {}
        std::optional<QDBusPendingCall> m_call;
        std::optional<Answer> m_answer;
    };

    // Sends `message` on `bus` and calls `done` once on the main loop with its answer, at the latest once
    // `bound` passed (never from inside ask()). Nothing is called once `receiver` was destroyed; it must
    // live on the main thread. Without `done` the answer is only there to peek at, and `receiver` may be null.
    static Pending ask(const QDBusConnection& bus, const QDBusMessage& message, std::chrono::milliseconds bound,
                       QObject* receiver, Done done);
};

}  // namespace vandrel::dbus
