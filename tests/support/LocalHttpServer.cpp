#include "support/LocalHttpServer.h"

#include <httplib.h>

#include <chrono>

namespace vandrel::test {

std::string LocalHttpServer::Recorded::header(const std::string& name) const {
    for (const auto& [k, v] : headers)
        if (strcasecmp(k.c_str(), name.c_str()) == 0) return v;
    return {};
}

LocalHttpServer::LocalHttpServer() : m_server(std::make_unique<httplib::Server>()) {
    // Recorded before the handler answers, so a client that has its response can already see its request here.
    // (The logger runs only after the response went out, too late for that.)
    m_server->set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        Recorded r{req.method, req.path, req.body, {}};
        for (const auto& [k, v] : req.headers) r.headers.emplace_back(k, v);
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(r));
    });
}

LocalHttpServer::~LocalHttpServer() { stop(); }

void LocalHttpServer::get(const std::string& pattern, Handler h) { m_server->Get(pattern, std::move(h)); }
void LocalHttpServer::post(const std::string& pattern, Handler h) { m_server->Post(pattern, std::move(h)); }

int LocalHttpServer::start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_port;
}

void LocalHttpServer::stop() {
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

std::string LocalHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<LocalHttpServer::Recorded> LocalHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool LocalHttpServer::waitForRequests(std::size_t n, int timeoutMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_requests.size() >= n) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::lock_guard lock(m_mutex);
    return m_requests.size() >= n;
}

}  // namespace vandrel::test
