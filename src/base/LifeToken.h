#pragma once

#include <memory>
#include <utility>

namespace vandrel {

// Makes callbacks that outlive their owner harmless. An owner keeps one LifeToken as a member; a
// callback wrapped with guard() runs only while that token exists, and is a no-op afterwards.
//
//     loop.after(300ms, m_life.guard([this] { onTimeout(); }));
//
// The token is reset when its owner is destroyed; an owner may call reset() first thing in its
// destructor so that no callback runs while its members are being torn down. Checks are made on the
// thread that runs the callback: for callbacks posted to the main loop that is the owner's thread.
class LifeToken {
public:
    LifeToken() : m_state(std::make_shared<char>(0)) {}
    LifeToken(const LifeToken&) = delete;
    LifeToken& operator=(const LifeToken&) = delete;

    // A copyable, cheap observer of the token.
    class Weak {
    public:
        Weak() = default;
        bool alive() const { return !m_state.expired(); }
        explicit operator bool() const { return alive(); }
        // Holds the token's state for the duration of a callback running on another thread.
        std::shared_ptr<char> lock() const { return m_state.lock(); }

    private:
        friend class LifeToken;
        explicit Weak(std::weak_ptr<char> s) : m_state(std::move(s)) {}
        std::weak_ptr<char> m_state;
    };

    Weak weak() const { return Weak(m_state); }
    bool alive() const { return m_state != nullptr; }
    void reset() { m_state.reset(); }

    // Wraps fn so that calling the result does nothing once this token is gone. The result returns void.
    template <class F>
    auto guard(F fn) const {
        return [state = std::weak_ptr<char>(m_state), fn = std::move(fn)](auto&&... args) mutable {
            if (auto held = state.lock()) fn(std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<char> m_state;
};

}  // namespace vandrel
