// A second process on the desktop's clipboard, for the clipboard tests.
//   clipboard_owner own WIDTH HEIGHT TEXT: takes the clipboard with TEXT and a WIDTHxHEIGHT image, prints
//       "ready" and serves it until killed.
//   clipboard_owner own-bytes TYPE SIZE TEXT: takes the clipboard with TEXT and SIZE bytes of TYPE (the
//       bytes of test::ownerBytes), prints "ready" and serves it until killed.
//   clipboard_owner dump: prints every format on the clipboard with its size and SHA-256, one a line,
//       leaving out the selection's bookkeeping (which names the owner and the moment it took over) and
//       the image handle Qt makes up on the reading side.
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "platform/ClipboardOwnerBytes.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == "own") {
        QImage image(args[2].toInt(), args[3].toInt(), QImage::Format_ARGB32);
        // Content that compresses badly, so the encoded image is about as large as the pixels.
        quint32 seed = 12345;
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                line[x] = seed | 0xff000000u;
            }
        }
        auto* mime = new QMimeData();
        mime->setText(args[4]);
        mime->setImageData(image);
        QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
        QTimer::singleShot(0, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
        return app.exec();
    }
    if (args.size() >= 5 && args[1] == "own-bytes") {
        auto* mime = new QMimeData();
        mime->setText(args[4]);
        mime->setData(args[2], QByteArray::fromStdString(vandrel::test::ownerBytes(args[3].toULongLong())));
        QApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
        QTimer::singleShot(0, [] {
            std::printf("ready\n");
            std::fflush(stdout);
        });
        return app.exec();
    }
    if (args.size() >= 2 && args[1] == "dump") {
        const QMimeData* mime = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
        if (!mime) return 1;
        const QStringList skipped = {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS", "application/x-qt-image"};
        for (const QString& format : mime->formats()) {
            if (skipped.contains(format)) continue;
            const QByteArray data = mime->data(format);
            std::printf("%s %lld %s\n", qPrintable(format), static_cast<long long>(data.size()),
                        QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().constData());
        }
        return 0;
    }
    return 2;
}
