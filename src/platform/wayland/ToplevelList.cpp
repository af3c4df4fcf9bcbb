#include "platform/wayland/ToplevelList.h"

#include <wayland-client.h>

#include <algorithm>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace vandrel::wayland {

struct ToplevelHandle {
    ToplevelList* list = nullptr;
    zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
    Toplevel current;
    // Changes wait for the compositor's done event, which makes them one consistent update.
    Toplevel pending;
    // When it last became activated: with several seats more than one toplevel may say so, and the latest
    // is the one the user turned to.
    std::uint64_t activatedAt = 0;

    ~ToplevelHandle() {
        if (proxy) zwlr_foreign_toplevel_handle_v1_destroy(proxy);
    }
};

namespace {

void onTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
    static_cast<ToplevelHandle*>(data)->pending.title = title ? title : "";
}
void onAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    static_cast<ToplevelHandle*>(data)->pending.appId = appId ? appId : "";
}
void onOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void onState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    bool activated = false;
    const auto* values = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i)
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) activated = true;
    static_cast<ToplevelHandle*>(data)->pending.activated = activated;
}
void onDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* handle = static_cast<ToplevelHandle*>(data);
    handle->list->applied(*handle);
}
void onClosed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* handle = static_cast<ToplevelHandle*>(data);
    handle->list->closed(*handle);
}
void onParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {
    .title = onTitle,
    .app_id = onAppId,
    .output_enter = onOutput,
    .output_leave = onOutput,
    .state = onState,
    .done = onDone,
    .closed = onClosed,
    .parent = onParent,
};

void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* proxy) {
    static_cast<ToplevelList*>(data)->announced(proxy);
}
void onFinished(void*, zwlr_foreign_toplevel_manager_v1*) {}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {
    .toplevel = onToplevel,
    .finished = onFinished,
};

}  // namespace

ToplevelList::ToplevelList(zwlr_foreign_toplevel_manager_v1* manager) : m_manager(manager) {
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &kManagerListener, this);
}

ToplevelList::~ToplevelList() = default;

void ToplevelList::announced(zwlr_foreign_toplevel_handle_v1* proxy) {
    auto handle = std::make_unique<ToplevelHandle>();
    handle->list = this;
    handle->proxy = proxy;
    handle->current.id = handle->pending.id = m_nextId++;
    zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &kHandleListener, handle.get());
    m_handles.push_back(std::move(handle));
}

void ToplevelList::applied(ToplevelHandle& handle) {
    if (handle.pending.activated && !handle.current.activated) handle.activatedAt = ++m_activationCount;
    handle.current = handle.pending;
    reportActivation();
}

void ToplevelList::closed(ToplevelHandle& handle) {
    std::erase_if(m_handles, [&](const auto& h) { return h.get() == &handle; });
    reportActivation();
}

std::optional<Toplevel> ToplevelList::activated() const {
    const ToplevelHandle* latest = nullptr;
    for (const auto& h : m_handles)
        if (h->current.activated && (!latest || h->activatedAt > latest->activatedAt)) latest = h.get();
    if (!latest) return std::nullopt;
    return latest->current;
}

std::optional<Toplevel> ToplevelList::find(std::uint64_t id) const {
    for (const auto& h : m_handles)
        if (h->current.id == id) return h->current;
    return std::nullopt;
}

bool ToplevelList::activate(std::uint64_t id, wl_seat* seat) {
    if (!seat) return false;
    const auto it =
        std::find_if(m_handles.begin(), m_handles.end(), [&](const auto& h) { return h->current.id == id; });
    if (it == m_handles.end()) return false;
    zwlr_foreign_toplevel_handle_v1_activate((*it)->proxy, seat);
    return true;
}

void ToplevelList::reportActivation() {
    const auto now = activated();
    const std::optional<std::uint64_t> id = now ? std::optional(now->id) : std::nullopt;
    const std::string appId = now ? now->appId : std::string();
    // A focus change shows as one toplevel losing it and another gaining it, in separate updates: report
    // only what differs from the last report.
    if (id == m_reportedId && appId == m_reportedAppId) return;
    m_reportedId = id;
    m_reportedAppId = appId;
    activationChanged.emit(now);
}

}  // namespace vandrel::wayland
