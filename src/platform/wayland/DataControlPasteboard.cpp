#include "platform/wayland/DataControlPasteboard.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>

#include "base/Latin1.h"
#include "base/Log.h"
#include "base/MainLoop.h"
#include "platform/wayland/FdReader.h"
#include "platform/wayland/FdWriter.h"
#include "platform/wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace vandrel::wayland {

struct DataControlPasteboard::Offer {
    zwlr_data_control_offer_v1* proxy = nullptr;
    std::vector<std::string> types;
    // The text read ahead: unset until known; then the text, or none when the offer has no text.
    std::optional<std::optional<std::string>> text;
    std::unique_ptr<FdReader> textReader;

    ~Offer() {
        textReader.reset();
        if (proxy) zwlr_data_control_offer_v1_destroy(proxy);
    }
};

// One snapshot under way: the types of one offer asked for one after the other.
struct DataControlPasteboard::Read {
    std::shared_ptr<Offer> offer;
    std::vector<std::string> types;
    std::size_t next = 0;
    std::size_t leftOut = 0;
    PasteboardSnapshot snapshot;
    std::unique_ptr<FdReader> reader;
    Timer deadline;
    std::function<void(PasteboardSnapshot)> done;
};

namespace {

using Board = DataControlPasteboard;

// A writer into whom another reader's data never goes should not hold on to our memory for long.
constexpr std::chrono::seconds kServeSilence{10};
// plainText() must answer at once; an owner that takes longer than this for its text is taken to hold none.
constexpr std::chrono::milliseconds kTextWait{300};

void onOfferType(void* data, zwlr_data_control_offer_v1*, const char* mimeType) {
    auto* offer = static_cast<Board::Offer*>(data);
    if (mimeType && *mimeType && std::find(offer->types.begin(), offer->types.end(), mimeType) == offer->types.end())
        offer->types.emplace_back(mimeType);
}
const zwlr_data_control_offer_v1_listener kOfferListener = {.offer = onOfferType};

void onDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Board*>(data)->offerIntroduced(offer);
}
void onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Board*>(data)->selectionChanged(offer, Board::Selection::clipboard);
}
void onFinished(void* data, zwlr_data_control_device_v1*) { static_cast<Board*>(data)->deviceFinished(); }
void onPrimarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Board*>(data)->selectionChanged(offer, Board::Selection::primary);
}
const zwlr_data_control_device_v1_listener kDeviceListener = {
    .data_offer = onDataOffer,
    .selection = onSelection,
    .finished = onFinished,
    .primary_selection = onPrimarySelection,
};

void onSend(void* data, zwlr_data_control_source_v1* source, const char* mimeType, int fd) {
    static_cast<Board*>(data)->sendRequested(source, mimeType ? mimeType : "", fd);
}
void onCancelled(void* data, zwlr_data_control_source_v1* source) {
    static_cast<Board*>(data)->sourceCancelled(source);
}
const zwlr_data_control_source_v1_listener kSourceListener = {.send = onSend, .cancelled = onCancelled};

// The best type to read a text from among `types`; empty when there is none.
std::string bestTextType(const std::vector<std::string>& types) {
    // STRING is Latin-1 by definition; the others are UTF-8 in practice.
    static const std::vector<std::string> ranked = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT",
                                                    "STRING"};
    for (const auto& type : ranked)
        if (std::find(types.begin(), types.end(), type) != types.end()) return type;
    return {};
}

}  // namespace

DataControlPasteboard::DataControlPasteboard(std::shared_ptr<WaylandConnection> connection, Limits limits,
                                             Selection selection)
    : m_connection(std::move(connection)), m_limits(limits), m_selection(selection) {
    if (!m_connection || !m_connection->dataControlManager() || !m_connection->seat()) return;
    if (m_selection == Selection::primary && m_connection->dataControlVersion() < 2) return;
    m_device = zwlr_data_control_manager_v1_get_data_device(m_connection->dataControlManager(), m_connection->seat());
    zwlr_data_control_device_v1_add_listener(m_device, &kDeviceListener, this);
    // The current selection arrives in answer; without it a snapshot taken right away would be empty.
    m_connection->roundtrip();
}

DataControlPasteboard::~DataControlPasteboard() {
    m_life.reset();
    m_reads.clear();
    m_writers.clear();
    m_current.reset();
    m_introduced.clear();
    if (m_source) zwlr_data_control_source_v1_destroy(m_source);
    if (m_device) zwlr_data_control_device_v1_destroy(m_device);
    if (m_connection) m_connection->flush();
}

bool DataControlPasteboard::isAvailable() const { return m_device && !m_connection->isLost(); }

const std::vector<std::string>& DataControlPasteboard::textTypes() {
    static const std::vector<std::string> types = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT"};
    return types;
}

void DataControlPasteboard::offerIntroduced(zwlr_data_control_offer_v1* proxy) {
    auto offer = std::make_shared<Offer>();
    offer->proxy = proxy;
    zwlr_data_control_offer_v1_add_listener(proxy, &kOfferListener, offer.get());
    m_introduced.push_back(std::move(offer));
}

void DataControlPasteboard::selectionChanged(zwlr_data_control_offer_v1* proxy, Selection which) {
    std::shared_ptr<Offer> offer;
    if (proxy) {
        const auto it =
            std::find_if(m_introduced.begin(), m_introduced.end(), [&](const auto& o) { return o->proxy == proxy; });
        if (it != m_introduced.end()) {
            offer = *it;
            m_introduced.erase(it);
        }
    }
    // The device reports both selections; the other one's offers are released right away.
    if (which != m_selection) return;
    ++m_changes;
    m_current = std::move(offer);
    if (m_readAhead && !m_source && m_current) {
        m_readAhead = false;
        readTextAhead();
    }
}

void DataControlPasteboard::deviceFinished() {
    log("Wayland", "The compositor ended our clipboard access");
    m_current.reset();
    if (m_device) zwlr_data_control_device_v1_destroy(m_device);
    m_device = nullptr;
}

void DataControlPasteboard::sendRequested(zwlr_data_control_source_v1*, const std::string& mimeType, int fd) {
    // Even a source that was replaced already answers what was asked of it while it was the selection.
    const auto it =
        std::find_if(m_served.rbegin(), m_served.rend(), [&](const Served& s) { return s.type == mimeType; });
    FdGuard requester(fd);
    if (it == m_served.rend()) return;
    auto& slot = m_writers.emplace_back();
    auto position = std::prev(m_writers.end());
    slot = std::make_unique<FdWriter>(std::move(requester), it->data, kServeSilence,
                                      m_life.guard([this, position] { m_writers.erase(position); }));
}

void DataControlPasteboard::sourceCancelled(zwlr_data_control_source_v1* source) {
    if (source != m_source) return;
    zwlr_data_control_source_v1_destroy(m_source);
    m_source = nullptr;
    m_served.clear();
    // Someone else took the selection after our paste: the restore rule is going to ask for their text.
    // Whether their offer has arrived already depends on the compositor's order of events, so read the
    // current one and the next one too.
    m_readAhead = true;
    if (m_current) readTextAhead();
}

void DataControlPasteboard::readTextAhead() {
    const auto& offer = m_current;
    if (offer->text || offer->textReader) return;
    const std::string type = bestTextType(offer->types);
    if (type.empty()) {
        offer->text = std::optional<std::string>();
        return;
    }
    auto readEnd = receive(*offer, type);
    if (!readEnd) return;
    Offer* raw = offer.get();
    offer->textReader = std::make_unique<FdReader>(
        std::move(readEnd), m_limits.perTarget, [raw, type](std::optional<std::string> data) {
            if (data) raw->text = std::optional(type == "STRING" ? latin1ToUtf8(*data) : std::move(*data));
        });
}

FdGuard DataControlPasteboard::receive(const Offer& offer, const std::string& type) {
    auto [readEnd, writeEnd] = FdGuard::pipe();
    if (!readEnd) return {};
    zwlr_data_control_offer_v1_receive(offer.proxy, type.c_str(), writeEnd.get());
    // The request carries a copy to the owner: ours goes, so that the owner's close is the end of the data.
    writeEnd.reset();
    m_connection->flush();
    return std::move(readEnd);
}

std::optional<std::string> DataControlPasteboard::textOf(const std::vector<Served>& entries) const {
    const std::vector<std::string> types = [&] {
        std::vector<std::string> t;
        for (const auto& e : entries) t.push_back(e.type);
        return t;
    }();
    const std::string type = bestTextType(types);
    if (type.empty()) return std::nullopt;
    const auto it = std::find_if(entries.rbegin(), entries.rend(), [&](const Served& s) { return s.type == type; });
    return type == "STRING" ? latin1ToUtf8(*it->data) : *it->data;
}

std::optional<std::string> DataControlPasteboard::plainText() {
    if (m_source) return textOf(m_served);
    if (!m_current || !isAvailable()) return std::nullopt;
    if (m_current->text) return *m_current->text;
    const std::string type = bestTextType(m_current->types);
    if (type.empty()) return std::nullopt;
    auto readEnd = receive(*m_current, type);
    if (!readEnd) return std::nullopt;
    auto data = FdReader::readAll(std::move(readEnd), kTextWait);
    if (!data) return std::nullopt;
    std::string text = type == "STRING" ? latin1ToUtf8(*data) : std::move(*data);
    m_current->text = std::optional(text);
    return text;
}

std::optional<std::uint64_t> DataControlPasteboard::changeCount() {
    if (!isAvailable()) return std::nullopt;
    return m_changes;
}

void DataControlPasteboard::setPlainText(const std::string& text) {
    PasteboardSnapshot entries;
    for (const auto& type : textTypes()) entries.push_back({type, text});
    writeContents(entries);
}

void DataControlPasteboard::writeContents(const PasteboardSnapshot& entries) {
    if (!isAvailable()) {
        log("Wayland", "Cannot set the clipboard: no clipboard access");
        return;
    }
    // One source per content: a source may be set only once.
    std::vector<Served> served;
    for (const auto& e : entries) {
        auto data = std::make_shared<const std::string>(e.data);
        const auto it = std::find_if(served.begin(), served.end(), [&](const Served& s) { return s.type == e.type; });
        if (it != served.end())
            it->data = std::move(data);  // the later entry of a type wins
        else
            served.push_back({e.type, std::move(data)});
    }
    zwlr_data_control_source_v1* source = nullptr;
    if (!served.empty()) {
        source = zwlr_data_control_manager_v1_create_data_source(m_connection->dataControlManager());
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, this);
        for (const auto& s : served) zwlr_data_control_source_v1_offer(source, s.type.c_str());
    }
    if (m_selection == Selection::primary)
        zwlr_data_control_device_v1_set_primary_selection(m_device, source);
    else
        zwlr_data_control_device_v1_set_selection(m_device, source);
    if (m_source) zwlr_data_control_source_v1_destroy(m_source);
    m_source = source;
    m_served = std::move(served);
    m_readAhead = false;
    // Our own change is announced back later; until then the count must differ already.
    ++m_changes;
    m_connection->flush();
}

void DataControlPasteboard::readContents(std::function<void(PasteboardSnapshot)> done) {
    auto deliver = m_life.guard([done = std::move(done)](PasteboardSnapshot s) mutable { done(std::move(s)); });
    PasteboardSnapshot own;
    if (m_source) {
        for (const auto& s : m_served) own.push_back({s.type, *s.data});
        std::erase_if(own, [](const PasteboardEntry& e) { return e.data.empty(); });
    }
    if (m_source || !m_current || !isAvailable()) {
        MainLoop::current().post([deliver, own = std::move(own)]() mutable { deliver(std::move(own)); });
        return;
    }
    auto& read = *m_reads.emplace_back(std::make_unique<Read>());
    read.offer = m_current;
    read.types = m_current->types;
    read.done = deliver;
    Read* raw = &read;
    read.deadline = MainLoop::current().singleShot(m_limits.overall, m_life.guard([this, raw] {
        raw->leftOut += raw->types.size() - raw->next + 1;
        raw->next = raw->types.size();
        finishRead(*raw);
    }));
    readNext(read);
}

void DataControlPasteboard::readNext(Read& read) {
    while (read.next < read.types.size()) {
        const std::string type = read.types[read.next++];
        auto readEnd = receive(*read.offer, type);
        if (!readEnd) {
            ++read.leftOut;
            continue;
        }
        Read* raw = &read;
        read.reader = std::make_unique<FdReader>(std::move(readEnd), m_limits.perTarget,
                                                 m_life.guard([this, raw, type](std::optional<std::string> data) {
                                                     if (!data)
                                                         ++raw->leftOut;
                                                     else if (!data->empty())
                                                         raw->snapshot.push_back({type, std::move(*data)});
                                                     // Replaces the reader calling us, which allows that.
                                                     readNext(*raw);
                                                 }));
        return;
    }
    finishRead(read);
}

void DataControlPasteboard::finishRead(Read& read) {
    if (read.leftOut > 0)
        log("OutputService", "Clipboard snapshot left out " + std::to_string(read.leftOut) +
                                 " format(s) the owner refused or did not deliver in time");
    auto done = std::move(read.done);
    auto snapshot = std::move(read.snapshot);
    m_reads.remove_if([&](const auto& r) { return r.get() == &read; });
    MainLoop::current().post([done = std::move(done), snapshot = std::move(snapshot)]() mutable {
        if (done) done(std::move(snapshot));
    });
}

}  // namespace vandrel::wayland
