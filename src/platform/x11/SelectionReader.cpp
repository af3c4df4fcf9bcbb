#include "platform/x11/SelectionReader.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/Latin1.h"
#include "base/Log.h"
#include "base/SerialExecutor.h"
#include "platform/x11/DisplayEventThread.h"

namespace vandrel::x11 {

namespace {

using SteadyClock = std::chrono::steady_clock;

// One read: its own connection and an unmapped window that receives the converted data.
class Transfer {
public:
    Transfer(const SelectionReader::Limits& limits, const std::string& selection)
        : m_limits(limits), m_deadline(SteadyClock::now() + limits.overall) {
        installErrorTrap();
        m_display = XOpenDisplay(nullptr);
        if (!m_display) return;
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(m_display, m_window, PropertyChangeMask);
        m_clipboard = XInternAtom(m_display, selection.c_str(), False);
        m_targets = XInternAtom(m_display, "TARGETS", False);
        m_incr = XInternAtom(m_display, "INCR", False);
        m_property = XInternAtom(m_display, "VANDREL_SELECTION", False);
    }
    ~Transfer() {
        if (!m_display) return;
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
        takeTrappedError();  // an owner writing to our window after it was gone is of no interest
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    std::vector<SelectionTarget> run() {
        std::vector<SelectionTarget> result;
        if (!m_display || XGetSelectionOwner(m_display, m_clipboard) == None) return result;
        const std::optional<Time> time = serverTime();
        if (!time) return result;
        m_time = *time;

        const std::optional<std::string> list = convert(m_targets);
        if (!list) {
            log("OutputService", "Clipboard owner did not list its formats");
            return result;
        }
        std::vector<std::uint32_t> atoms(list->size() / sizeof(std::uint32_t));
        std::memcpy(atoms.data(), list->data(), atoms.size() * sizeof(std::uint32_t));
        std::vector<Atom> seen;
        std::size_t skipped = 0;
        for (const std::uint32_t item : atoms) {
            const Atom atom = item;
            if (atom == None || std::find(seen.begin(), seen.end(), atom) != seen.end()) continue;
            seen.push_back(atom);
            char* rawName = XGetAtomName(m_display, atom);
            if (takeTrappedError() || !rawName) continue;  // not an atom at all: a confused owner
            std::string name(rawName);
            XFree(rawName);
            if (SelectionReader::isBookkeepingTarget(name)) continue;
            if (SteadyClock::now() >= m_deadline) {
                ++skipped;
                continue;
            }
            if (std::optional<std::string> data = convert(atom))
                result.push_back({std::move(name), std::move(*data)});
            else
                ++skipped;
        }
        if (skipped > 0)
            log("OutputService", "Clipboard snapshot left out " + std::to_string(skipped) +
                                     " format(s) the owner refused or did not deliver in time");
        return result;
    }

private:
    SteadyClock::time_point waitLimit() const { return std::min(m_deadline, SteadyClock::now() + m_limits.perTarget); }

    // Waits for the next event on our window that `match` accepts, dropping others, until `until`.
    template <typename Match>
    std::optional<XEvent> waitFor(Match match, SteadyClock::time_point until) {
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (match(event)) return event;
            }
            const auto now = SteadyClock::now();
            if (now >= until) return std::nullopt;
            // Rounded up: a wait that ends early by a fraction of a millisecond would leave the read's
            // deadline not quite passed, and the next format would still be asked for.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(std::min<long long>(left, INT_MAX))) < 0 && errno != EINTR)
                return std::nullopt;
            if (fd.revents & (POLLERR | POLLHUP)) return std::nullopt;
        }
    }

    // A timestamp from the server for our requests: ICCCM asks requestors not to use CurrentTime, and
    // owners may refuse requests older than their ownership.
    std::optional<Time> serverTime() {
        const unsigned char nothing = 0;
        XChangeProperty(m_display, m_window, m_property, XA_STRING, 8, PropModeAppend, &nothing, 0);
        XFlush(m_display);
        auto event = waitFor(
            [&](const XEvent& e) { return e.type == PropertyNotify && e.xproperty.atom == m_property; }, m_deadline);
        if (!event) return std::nullopt;
        return event->xproperty.time;
    }

    // The whole property, deleting it; `type` gets its type. Items of format 16 and 32 are kept as 2 and
    // 4 bytes each, as on the wire (Xlib hands them over as shorts and longs).
    std::optional<std::string> takeProperty(Atom& type) {
        std::string bytes;
        long offset = 0;
        for (;;) {
            Atom actualType = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            // Read in pieces of 4 MB so no single reply has to hold a large image.
            constexpr long kPieceLongs = 1L << 20;
            const int status = XGetWindowProperty(m_display, m_window, m_property, offset, kPieceLongs, False,
                                                  AnyPropertyType, &actualType, &format, &items, &after, &data);
            if (status != Success || takeTrappedError()) {
                if (data) XFree(data);
                return std::nullopt;
            }
            type = actualType;
            if (data) {
                if (format == 32) {
                    for (unsigned long i = 0; i < items; ++i) {
                        const auto item = static_cast<std::uint32_t>(reinterpret_cast<const unsigned long*>(data)[i]);
                        bytes.append(reinterpret_cast<const char*>(&item), sizeof item);
                    }
                } else if (format == 16) {
                    for (unsigned long i = 0; i < items; ++i) {
                        const auto item = static_cast<std::uint16_t>(reinterpret_cast<const unsigned short*>(data)[i]);
                        bytes.append(reinterpret_cast<const char*>(&item), sizeof item);
                    }
                } else {
                    bytes.append(reinterpret_cast<const char*>(data), items);
                }
                XFree(data);
            }
            // Offsets count 32-bit units on the wire, whatever the item size in memory.
            offset += static_cast<long>(items * static_cast<unsigned long>(format) / 32);
            if (after == 0 || items == 0) break;
        }
        XDeleteProperty(m_display, m_window, m_property);
        XFlush(m_display);
        return bytes;
    }

    // Asks the owner for `target`; the data, or none when the owner refused it or stayed silent.
    std::optional<std::string> convert(Atom target) {
        XConvertSelection(m_display, m_clipboard, target, m_property, m_window, m_time);
        XFlush(m_display);
        auto notify = waitFor(
            [&](const XEvent& e) {
                return e.type == SelectionNotify && e.xselection.selection == m_clipboard &&
                       e.xselection.target == target;
            },
            waitLimit());
        if (!notify) {
            abandonProperty();
            return std::nullopt;
        }
        if (notify->xselection.property == None) return std::nullopt;
        Atom type = None;
        std::optional<std::string> data = takeProperty(type);
        if (!data || type != m_incr) return data;
        return receiveIncrementally();
    }

    // INCR: the owner sends the data in pieces, each put into our property after we deleted the
    // previous one, and ends with an empty piece.
    std::optional<std::string> receiveIncrementally() {
        std::string whole;
        for (;;) {
            auto event = waitFor(
                [&](const XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == m_window &&
                           e.xproperty.atom == m_property && e.xproperty.state == PropertyNewValue;
                },
                waitLimit());
            if (!event) {
                abandonProperty();
                return std::nullopt;
            }
            Atom type = None;
            std::optional<std::string> piece = takeProperty(type);
            if (!piece) return std::nullopt;
            if (piece->empty()) return whole;
            whole += *piece;
        }
    }

    // An owner that answers after we gave up would write into the property we read next; later
    // conversions use a fresh one.
    void abandonProperty() {
        m_property = XInternAtom(m_display, ("VANDREL_SELECTION_" + std::to_string(++m_abandoned)).c_str(), False);
    }

    SelectionReader::Limits m_limits;
    SteadyClock::time_point m_deadline;
    Display* m_display = nullptr;
    Window m_window = None;
    Atom m_clipboard = None, m_targets = None, m_incr = None, m_property = None;
    Time m_time = CurrentTime;
    int m_abandoned = 0;
};

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 0x2) return false;
        i += len;
    }
    return true;
}

}  // namespace

bool SelectionReader::isBookkeepingTarget(const std::string& target) {
    // The last four are handles of the owner's server resources, not content: they mean nothing once
    // the owner frees them, and nobody can paste them back.
    static constexpr std::array<std::string_view, 9> kTargets = {
        "TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "DELETE", "PIXMAP", "BITMAP", "DRAWABLE", "COLORMAP"};
    return std::find(kTargets.begin(), kTargets.end(), target) != kTargets.end() || target.starts_with("INSERT_");
}

PasteboardSnapshot SelectionReader::toSnapshot(const std::vector<SelectionTarget>& targets) {
    // Best first. STRING is Latin-1 by definition; TEXT is whatever the owner chose, UTF-8 in practice.
    static constexpr std::array<std::string_view, 5> kTextTargets = {"UTF8_STRING", "text/plain;charset=utf-8",
                                                                     "text/plain", "STRING", "TEXT"};
    std::optional<std::string> text;
    std::size_t textRank = kTextTargets.size();
    for (const auto& t : targets) {
        const auto it = std::find(kTextTargets.begin(), kTextTargets.end(), t.target);
        if (it == kTextTargets.end() || t.data.empty()) continue;
        const auto rank = static_cast<std::size_t>(it - kTextTargets.begin());
        if (rank >= textRank) continue;
        std::string utf8 = t.target == "STRING" ? latin1ToUtf8(t.data) : t.data;
        if (!isValidUtf8(utf8)) continue;
        text = std::move(utf8);
        textRank = rank;
    }

    PasteboardSnapshot snapshot;
    auto has = [&](const std::string& type) {
        return std::any_of(snapshot.begin(), snapshot.end(), [&](const PasteboardEntry& e) { return e.type == type; });
    };
    for (const auto& t : targets) {
        const bool isText = std::find(kTextTargets.begin(), kTextTargets.end(), t.target) != kTextTargets.end();
        if (isText) {
            // The text takes the place of the first text target the owner listed.
            if (text && !has("text/plain")) snapshot.push_back({"text/plain", *text});
            continue;
        }
        // Qt's in-process image handle: a Qt owner also offers the image in the encoded formats.
        if (t.target == "application/x-qt-image") continue;
        if (t.data.empty() || isBookkeepingTarget(t.target) || has(t.target)) continue;
        snapshot.push_back({t.target, t.data});
    }
    return snapshot;
}

std::vector<SelectionTarget> SelectionReader::readTargets(const Limits& limits, const std::string& selection) {
    Transfer transfer(limits, selection);
    return transfer.run();
}

SelectionReader::SelectionReader(Limits limits, std::string selection)
    : m_limits(limits),
      m_selection(std::move(selection)),
      m_worker(std::make_unique<SerialExecutor>("ClipboardReader")) {}

SelectionReader::~SelectionReader() = default;

void SelectionReader::read(std::function<void(PasteboardSnapshot)> done) {
    auto deliver = m_life.guard([done = std::move(done)](PasteboardSnapshot snapshot) { done(std::move(snapshot)); });
    if (!m_worker->runThen(
            [limits = m_limits, selection = m_selection] { return toSnapshot(readTargets(limits, selection)); },
            deliver))
        MainLoop::current().post([deliver]() mutable { deliver(PasteboardSnapshot{}); });
}

}  // namespace vandrel::x11
