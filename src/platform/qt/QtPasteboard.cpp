#include "platform/qt/QtPasteboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <array>

#include "base/Log.h"

namespace vandrel {

bool QtPasteboard::isBookkeepingType(const std::string& type) {
    static constexpr std::array<std::string_view, 8> kTypes = {
        "TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "DELETE", "INSERT_SELECTION", "INSERT_PROPERTY",
        "application/x-qt-image",  // Qt's in-process image handle; the encoded formats carry the bytes
    };
    return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

void QtPasteboard::readContents(std::function<void(PasteboardSnapshot)> done) {
    PasteboardSnapshot snapshot;
    if (const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard)) {
        QElapsedTimer elapsed;
        elapsed.start();
        const QStringList formats = mime->formats();
        for (qsizetype i = 0; i < formats.size(); ++i) {
            if (elapsed.elapsed() > m_readBudgetMs) {
                log("OutputService", "Clipboard snapshot stopped after " + std::to_string(elapsed.elapsed()) +
                                         " ms; formats left out: " + std::to_string(formats.size() - i));
                break;
            }
            const QString& format = formats[i];
            std::string type = format.toStdString();
            if (isBookkeepingType(type)) continue;
            const QByteArray bytes = mime->data(format);
            if (bytes.isEmpty()) continue;
            snapshot.push_back({std::move(type), std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()))});
        }
    }
    done(std::move(snapshot));
}

std::optional<std::string> QtPasteboard::plainText() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasText()) return std::nullopt;
    return mime->text().toStdString();
}

void QtPasteboard::setPlainText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

void QtPasteboard::writeContents(const PasteboardSnapshot& entries) {
    auto* mime = new QMimeData();
    for (const auto& e : entries)
        mime->setData(QString::fromStdString(e.type),
                      QByteArray(e.data.data(), static_cast<qsizetype>(e.data.size())));
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);  // takes ownership
}

}  // namespace vandrel
