#pragma once

#include <utility>

#include "base/Signal.h"

namespace vandrel {

// An observable value: views and controllers subscribe to `changed`; `observe` also delivers the
// current value at once, as a subscription to a published property does.
template <typename T>
class Published {
public:
    Published() = default;
    explicit Published(T initial) : m_value(std::move(initial)) {}

    const T& get() const { return m_value; }
    operator const T&() const { return m_value; }
    // Stores and announces the value; an equal value is stored silently.
    void set(T value) {
        if (value == m_value) return;
        m_value = std::move(value);
        changed.emit(m_value);
    }
    // Stores and announces even an equal value.
    void setAlways(T value) {
        m_value = std::move(value);
        changed.emit(m_value);
    }
    [[nodiscard]] Connection observe(std::function<void(const T&)> fn) {
        fn(m_value);
        return changed.connect(std::move(fn));
    }

    Signal<const T&> changed;

private:
    T m_value{};
};

}  // namespace vandrel
