#include "dictation/TargetAppTracker.h"

#include <unistd.h>

#include <utility>

namespace vandrel {

namespace {
std::function<std::shared_ptr<ActiveWindowSource>()>& sourceFactory() {
    static std::function<std::shared_ptr<ActiveWindowSource>()> factory;
    return factory;
}
std::unique_ptr<TargetAppTracker>& sharedTracker() {
    static std::unique_ptr<TargetAppTracker> tracker;
    return tracker;
}
}  // namespace

TargetAppTracker::TargetAppTracker(std::shared_ptr<ActiveWindowSource> source, std::int64_t ownProcessId)
    : m_source(std::move(source)), m_ownProcessId(ownProcessId) {
    if (!m_source) return;
    applicationActivated(m_source->activeApplication());
    m_observing =
        m_source->start(m_life.guard([this](std::optional<RunningApplication> app) { applicationActivated(app); }));
}

TargetAppTracker::~TargetAppTracker() {
    if (m_observing) m_source->stop();
}

TargetAppTracker& TargetAppTracker::shared() {
    auto& tracker = sharedTracker();
    if (!tracker) {
        auto& factory = sourceFactory();
        tracker =
            std::make_unique<TargetAppTracker>(factory ? factory() : nullptr, static_cast<std::int64_t>(getpid()));
    }
    return *tracker;
}

void TargetAppTracker::setSharedSourceFactory(std::function<std::shared_ptr<ActiveWindowSource>()> factory) {
    sourceFactory() = std::move(factory);
}

void TargetAppTracker::resetSharedForTesting() {
    sharedTracker().reset();
    sourceFactory() = nullptr;
}

void TargetAppTracker::applicationActivated(const std::optional<RunningApplication>& app) {
    // Our own windows (settings, menus) coming forward must not make us forget where the user was.
    if (app && app->processId != m_ownProcessId) m_lastTargetApp = app;
    activeWindowChanged.emit();
}

bool TargetAppTracker::isActive(const RunningApplication& app) {
    if (!m_source) return false;
    const auto active = m_source->activeApplication();
    return active && active->window == app.window;
}

bool TargetAppTracker::activate(const RunningApplication& app) { return m_source && m_source->activate(app); }

}  // namespace vandrel
