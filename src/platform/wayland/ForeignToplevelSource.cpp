#include "platform/wayland/ForeignToplevelSource.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "platform/wayland/ToplevelList.h"
#include "platform/wayland/WaylandConnection.h"

namespace vandrel::wayland {

namespace {
bool sameId(const std::string& a, const std::string& b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}
}  // namespace

ForeignToplevelSource::ForeignToplevelSource(std::shared_ptr<WaylandConnection> connection,
                                             std::vector<std::string> ownAppIds)
    : m_connection(std::move(connection)), m_ownAppIds(std::move(ownAppIds)) {}

ForeignToplevelSource::~ForeignToplevelSource() { stop(); }

bool ForeignToplevelSource::isAvailable() const {
    return m_connection && m_connection->toplevels() && !m_connection->isLost();
}

std::optional<RunningApplication> ForeignToplevelSource::applicationOf(const std::optional<Toplevel>& toplevel) const {
    if (!toplevel) return std::nullopt;
    RunningApplication app;
    app.window = toplevel->id;
    const bool ours = std::any_of(m_ownAppIds.begin(), m_ownAppIds.end(),
                                  [&](const std::string& id) { return sameId(id, toplevel->appId); });
    if (ours) app.processId = static_cast<std::int64_t>(getpid());
    return app;
}

std::optional<RunningApplication> ForeignToplevelSource::activeApplication() {
    if (!isAvailable()) return std::nullopt;
    return applicationOf(m_connection->toplevels()->activated());
}

bool ForeignToplevelSource::start(std::function<void(std::optional<RunningApplication>)> onActivated) {
    stop();
    if (!isAvailable()) return false;
    m_subscription = m_connection->toplevels()->activationChanged.connect(
        [this, onActivated = std::move(onActivated)](const std::optional<Toplevel>& toplevel) {
            onActivated(applicationOf(toplevel));
        });
    return true;
}

void ForeignToplevelSource::stop() { m_subscription.disconnect(); }

bool ForeignToplevelSource::activate(const RunningApplication& app) {
    if (!isAvailable() || !m_connection->toplevels()->activate(app.window, m_connection->seat())) return false;
    m_connection->flush();
    return true;
}

}  // namespace vandrel::wayland
