#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

#include "base/MainLoop.h"

namespace vandrel {

// An actor's executor: one worker thread and a queue; jobs run one at a time in submission order.
// Results go back to the main thread with MainLoop::post (see runThen).
class SerialExecutor {
public:
    explicit SerialExecutor(std::string name);
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;
    // Stops accepting work, lets the running job finish, drops the jobs still queued, joins.
    ~SerialExecutor();

    // Queues `job`. Returns false (and drops the job) once shutdown has begun.
    bool submit(std::function<void()> job);
    // Stops accepting work and waits for the worker. With `drain`, queued jobs still run first.
    void shutdown(bool drain = false);
    // True when called from this executor's worker thread.
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }
    // Blocks until every job submitted before this call has run. For tests and shutdown paths only:
    // never call it on the main thread during normal operation.
    void waitIdle();
    const std::string& name() const { return m_name; }

    // Runs `work` on the executor and hands its result to `then` on the main loop. Work that returns
    // nothing still gets `then` called, without an argument, once it has finished.
    template <typename Work, typename Then>
    bool runThen(Work work, Then then) {
        return submit([work = std::move(work), then = std::move(then)]() mutable {
            if constexpr (std::is_void_v<std::invoke_result_t<Work&>>) {
                work();
                MainLoop::current().post([then = std::move(then)]() mutable { then(); });
            } else {
                auto result = work();
                MainLoop::current().post(
                    [then = std::move(then), result = std::move(result)]() mutable { then(std::move(result)); });
            }
        });
    }

private:
    void run();

    std::string m_name;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    bool m_drain = false;
    bool m_busy = false;
    std::thread m_thread;
};

}  // namespace vandrel
