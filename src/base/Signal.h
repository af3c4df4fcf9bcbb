#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vandrel {

// A subscription to a Signal. Disconnects when destroyed, so an observer that dies can never be called.
class Connection {
public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : m_disconnect(std::move(disconnect)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& other) noexcept : m_disconnect(std::exchange(other.m_disconnect, nullptr)) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            disconnect();
            m_disconnect = std::exchange(other.m_disconnect, nullptr);
        }
        return *this;
    }
    ~Connection() { disconnect(); }

    void disconnect() {
        if (m_disconnect) std::exchange(m_disconnect, nullptr)();
    }
    bool connected() const { return static_cast<bool>(m_disconnect); }

private:
    std::function<void()> m_disconnect;
};

// Synchronous observer list. Slots may connect or disconnect (themselves or others) while the signal
// is being emitted: a slot disconnected during emission is not called afterwards, a slot connected
// during emission is first called on the next emission. Emission happens on the emitting thread.
template <typename... Args>
class Signal {
public:
    using Slot = std::function<void(Args...)>;

    Signal() : m_state(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Connection connect(Slot slot) {
        auto entry = std::make_shared<Entry>(Entry{std::move(slot), true});
        {
            std::lock_guard lock(m_state->mutex);
            m_state->entries.push_back(entry);
        }
        std::weak_ptr<State> weakState = m_state;
        std::weak_ptr<Entry> weakEntry = entry;
        return Connection([weakState, weakEntry] {
            auto state = weakState.lock();
            auto e = weakEntry.lock();
            if (!state || !e) return;
            std::lock_guard lock(state->mutex);
            e->alive = false;
            std::erase(state->entries, e);
        });
    }

    void emit(Args... args) const {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard lock(m_state->mutex);
            snapshot = m_state->entries;
        }
        for (auto& e : snapshot) {
            bool alive;
            {
                std::lock_guard lock(m_state->mutex);
                alive = e->alive;
            }
            if (alive) e->slot(args...);
        }
    }

    void operator()(Args... args) const { emit(std::forward<Args>(args)...); }

    std::size_t slotCount() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->entries.size();
    }

private:
    struct Entry {
        Slot slot;
        bool alive;
    };
    struct State {
        mutable std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<State> m_state;
};

}  // namespace vandrel
