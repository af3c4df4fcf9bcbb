#include "platform/qt/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <X11/Xlib.h>

#include "base/MainLoop.h"

namespace vandrel {

namespace {
QClipboard::Mode modeOf(QtPasteboard::Selection selection) {
    return selection == QtPasteboard::Selection::primary ? QClipboard::Selection : QClipboard::Clipboard;
}
}  // namespace

QtPasteboard::QtPasteboard(x11::SelectionReader::Limits readLimits, Selection selection)
    : m_selection(selection),
      m_reader(std::make_unique<x11::SelectionReader>(readLimits,
                                                      selection == Selection::primary ? "PRIMARY" : "CLIPBOARD")) {
    if (auto* clipboard = QGuiApplication::clipboard())
        m_changed = QObject::connect(clipboard, &QClipboard::changed, [this](QClipboard::Mode mode) {
            if (mode == modeOf(m_selection)) ++m_changes;
        });
}

std::optional<std::uint64_t> QtPasteboard::changeCount() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
    static const bool xfixes = [] {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        int opcode = 0, event = 0, error = 0;
        return x11 && x11->display() && XQueryExtension(x11->display(), "XFIXES", &opcode, &event, &error);
    }();
    if (!xfixes) return std::nullopt;
    return m_changes;
}

bool QtPasteboard::ownedHere() const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return m_selection == Selection::primary ? clipboard->ownsSelection() : clipboard->ownsClipboard();
}

QtPasteboard::~QtPasteboard() { QObject::disconnect(m_changed); }

bool QtPasteboard::isBookkeepingType(const std::string& type) {
    // Qt's in-process image handle; the encoded formats carry the bytes.
    return type == "application/x-qt-image" || x11::SelectionReader::isBookkeepingTarget(type);
}

void QtPasteboard::readContents(std::function<void(PasteboardSnapshot)> done) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Off X11 (Wayland, offscreen) QClipboard is the only way to the clipboard.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !ownedHere()) {
        m_reader->read(std::move(done));
        return;
    }
    PasteboardSnapshot snapshot;
    if (const QMimeData* mime = clipboard->mimeData(modeOf(m_selection))) {
        for (const QString& format : mime->formats()) {
            std::string type = format.toStdString();
            if (isBookkeepingType(type)) continue;
            const QByteArray bytes = mime->data(format);
            if (bytes.isEmpty()) continue;
            snapshot.push_back(
                {std::move(type), std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))});
        }
    }
    MainLoop::current().post(
        [done = std::move(done), snapshot = std::move(snapshot)]() mutable { done(std::move(snapshot)); });
}

std::optional<std::string> QtPasteboard::plainText() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(modeOf(m_selection));
    if (!mime || !mime->hasText()) return std::nullopt;
    return mime->text().toStdString();
}

void QtPasteboard::setPlainText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), modeOf(m_selection));
}

void QtPasteboard::writeContents(const PasteboardSnapshot& entries) {
    auto* mime = new QMimeData();
    for (const auto& e : entries)
        mime->setData(QString::fromStdString(e.type), QByteArray(e.data.data(), static_cast<qsizetype>(e.data.size())));
    QGuiApplication::clipboard()->setMimeData(mime, modeOf(m_selection));  // takes ownership
}

}  // namespace vandrel
