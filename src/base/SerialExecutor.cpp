#include "base/SerialExecutor.h"

#include <pthread.h>

#include "base/Log.h"

namespace vandrel {

SerialExecutor::SerialExecutor(std::string name) : m_name(std::move(name)) {
    m_thread = std::thread([this] { run(); });
}

SerialExecutor::~SerialExecutor() { shutdown(false); }

bool SerialExecutor::submit(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return false;
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void SerialExecutor::shutdown(bool drain) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            m_stopping = true;
            m_drain = drain;
        }
    }
    m_wake.notify_all();
    if (m_thread.joinable() && !isCurrent()) m_thread.join();
}

void SerialExecutor::waitIdle() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return (m_queue.empty() || (m_stopping && !m_drain)) && !m_busy; });
}

void SerialExecutor::run() {
    pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping && (!m_drain || m_queue.empty())) {
                m_queue.clear();
                m_idle.notify_all();
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        try {
            job();
        } catch (const std::exception& e) {
            // No exception may cross the executor: it would end the process.
            log(m_name, std::string("job threw: ") + e.what());
        } catch (...) {
            log(m_name, "job threw an unknown exception");
        }
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
    }
}

}  // namespace vandrel
