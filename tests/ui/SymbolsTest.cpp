#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>

#include <filesystem>

#include "ui/Symbols.h"

using namespace vandrel;

namespace {

const QString kSource = QStringLiteral(VANDREL_SOURCE_DIR);

// Every symbol name written in src/ where the code asks for a symbol (see ui/Symbols.h).
QSet<QString> symbolNamesInSource() {
    static const QRegularExpression call(
        QStringLiteral(R"re(\b(?:symbol|symbolIcon|symbolName|BrandIconTile|SymbolButton|setSymbolName)\s*\(\s*)re"
                       R"re((?:QStringLiteral\s*\(\s*|QString::fromLatin1\s*\(\s*)?"([^"\\]*)")re"));
    QSet<QString> names;
    QDirIterator it(kSource + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto m = call.globalMatch(text); m.hasNext();) names.insert(m.next().captured(1));
    }
    return names;
}

}  // namespace

TEST(Symbols, EverySymbolNameUsedInTheSourceHasAnSvgFile) {
    const QSet<QString> names = symbolNamesInSource();
    // The scan sees the chip's own symbols, so it is looking at the right calls.
    ASSERT_TRUE(names.contains(QStringLiteral("xmark.circle.fill")));
    ASSERT_TRUE(names.contains(QStringLiteral("star.fill")));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString file = kSource + QStringLiteral("/resources/icons/") + name + QStringLiteral(".svg");
        EXPECT_TRUE(QFile::exists(file));
        EXPECT_TRUE(symbolExists(name));  // and it reached the build's resources
    }
}

TEST(Symbols, EveryIconFileIsAValidSquareDrawing) {
    QDirIterator it(kSource + QStringLiteral("/resources/icons"), {QStringLiteral("*.svg")}, QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid());
        EXPECT_EQ(renderer.defaultSize().width(), renderer.defaultSize().height());
        const QString name = it.fileInfo().completeBaseName();
        EXPECT_FALSE(symbol(name, 16, Qt::black, 1).isNull());
        ++count;
    }
    EXPECT_GT(count, 30);
}

TEST(Symbols, AreTintedSizedAndCachedAndAMissingOneIsEmpty) {
    const QPixmap red = symbol(QStringLiteral("largecircle.fill.circle"), 20, Qt::red, 2);
    ASSERT_FALSE(red.isNull());
    EXPECT_EQ(red.size(), QSize(40, 40));
    EXPECT_EQ(red.deviceIndependentSize(), QSizeF(20, 20));
    const QImage image = red.toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(QColor::fromRgba(image.pixel(20, 20)), QColor(Qt::red));  // the filled centre
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(symbol(QStringLiteral("largecircle.fill.circle"), 20, Qt::red, 2).cacheKey(), red.cacheKey());
    EXPECT_NE(symbol(QStringLiteral("largecircle.fill.circle"), 20, Qt::blue, 2).cacheKey(), red.cacheKey());

    EXPECT_TRUE(symbol(QStringLiteral("no.such.symbol"), 16, Qt::black).isNull());
    EXPECT_TRUE(symbol(QStringLiteral("no.such.symbol"), 16, Qt::black).isNull());
    EXPECT_TRUE(symbol(QStringLiteral("../strings/en/base"), 16, Qt::black).isNull());
    EXPECT_TRUE(symbol(QStringLiteral("checkmark"), 0, Qt::black).isNull());
    EXPECT_FALSE(symbolExists(QStringLiteral("../icons/checkmark")));
    EXPECT_TRUE(symbolIcon(QStringLiteral("checkmark"), 16, Qt::black).availableSizes().size() >= 1);
}
