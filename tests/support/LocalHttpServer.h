#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace vandrel::test {

// A real HTTP server on 127.0.0.1 and a free port, running on its own thread for the life of the object.
// Register handlers before start(). Every request is recorded.
class LocalHttpServer {
public:
    struct Recorded {
        std::string method, path, body;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string header(const std::string& name) const;
    };
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    LocalHttpServer();
    ~LocalHttpServer();

    void get(const std::string& pattern, Handler h);
    void post(const std::string& pattern, Handler h);
    // Starts listening; returns the port.
    int start();
    void stop();
    std::string url(const std::string& path) const;
    int port() const { return m_port; }
    std::vector<Recorded> requests() const;
    // Waits (real time) until at least `n` requests arrived.
    bool waitForRequests(std::size_t n, int timeoutMs = 5000) const;
    httplib::Server& raw() { return *m_server; }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Recorded> m_requests;
};

}  // namespace vandrel::test
