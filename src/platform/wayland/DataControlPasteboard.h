#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/FdGuard.h"
#include "base/LifeToken.h"
#include "dictation/Pasteboard.h"

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace vandrel::wayland {

class FdReader;
class FdWriter;
class WaylandConnection;

// How long reading another client's clipboard may take: the same bounds as for an X11 selection.
struct ClipboardReadLimits {
    // The whole snapshot; whatever has arrived by then is the snapshot.
    std::chrono::milliseconds overall{2000};
    // Longest silence of the owner on one type; a type it stays silent on that long is left out.
    std::chrono::milliseconds perTarget{1500};
};

// The seat's clipboard (or primary selection) through the data-control protocol, which works without a
// focused window of ours. Reading asks the owner for each MIME type in turn through a pipe and takes the
// bytes as they are; what we set we serve ourselves, byte for byte, until another client replaces it.
// Main thread only.
class DataControlPasteboard : public Pasteboard {
public:
    enum class Selection { clipboard, primary };
    using Limits = ClipboardReadLimits;

    explicit DataControlPasteboard(std::shared_ptr<WaylandConnection> connection, Limits limits = {},
                                   Selection selection = Selection::clipboard);
    ~DataControlPasteboard() override;
    DataControlPasteboard(const DataControlPasteboard&) = delete;
    DataControlPasteboard& operator=(const DataControlPasteboard&) = delete;

    // Whether the compositor offers data control for this selection and the connection stands.
    bool isAvailable() const;

    void readContents(std::function<void(PasteboardSnapshot)> done) override;
    // What we set ourselves comes from memory. Another client's text is read ahead when it replaces ours
    // (that is when the restore rule will ask); otherwise it is read now, waiting at most a short moment.
    std::optional<std::string> plainText() override;
    // Offered as UTF-8 under the usual text types.
    void setPlainText(const std::string& text) override;
    void writeContents(const PasteboardSnapshot& entries) override;
    // Counts the compositor's selection announcements, which come with every change by anyone.
    std::optional<std::uint64_t> changeCount() override;

    // The types a text is offered under, best first.
    static const std::vector<std::string>& textTypes();

    // Called from the compositor's events.
    struct Offer;
    void offerIntroduced(zwlr_data_control_offer_v1* proxy);
    void selectionChanged(zwlr_data_control_offer_v1* proxy, Selection which);
    void deviceFinished();
    void sendRequested(zwlr_data_control_source_v1* source, const std::string& mimeType, int fd);
    void sourceCancelled(zwlr_data_control_source_v1* source);

private:
    struct Served {
        std::string type;
        std::shared_ptr<const std::string> data;
    };
    struct Read;
    void readNext(Read& read);
    void finishRead(Read& read);
    void readTextAhead();
    // The read end of a pipe into which the owner of `offer` is asked to write it as `type`; empty when no
    // pipe could be made.
    FdGuard receive(const Offer& offer, const std::string& type);
    std::optional<std::string> textOf(const std::vector<Served>& entries) const;

    std::shared_ptr<WaylandConnection> m_connection;
    Limits m_limits;
    Selection m_selection;
    zwlr_data_control_device_v1* m_device = nullptr;
    // Offers announced but not yet named by a selection event.
    std::vector<std::shared_ptr<Offer>> m_introduced;
    std::shared_ptr<Offer> m_current;
    // Our own source while it is the selection, and what it serves.
    zwlr_data_control_source_v1* m_source = nullptr;
    std::vector<Served> m_served;
    bool m_readAhead = false;
    std::uint64_t m_changes = 0;
    std::list<std::unique_ptr<FdWriter>> m_writers;
    std::list<std::unique_ptr<Read>> m_reads;
    LifeToken m_life;
};

}  // namespace vandrel::wayland
