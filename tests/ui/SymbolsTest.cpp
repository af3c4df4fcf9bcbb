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

// The source without its comments (which may show calls as examples), string and character literals kept.
QString withoutComments(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
            while (i < text.size() && text[i] != QLatin1Char('\n')) ++i;
            out += QLatin1Char('\n');
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? text.size() : end + 1;
            out += QLatin1Char(' ');
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            out += c;
            for (++i; i < text.size() && text[i] != c; ++i) {
                if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) out += text[i++];
                out += text[i];
            }
            if (i < text.size()) out += text[i];
        } else {
            out += c;
        }
    }
    return out;
}

// The string literals in argument `index` (from 0) of the call whose "(" is at `open` (so that
// `symbol(on ? QStringLiteral("a") : QStringLiteral("b"), 16, c)` yields both names).
QStringList literalsOfArgument(const QString& text, qsizetype open, int index) {
    QStringList literals;
    int depth = 0;
    int argument = 0;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            qsizetype j = i + 1;
            QString literal;
            while (j < text.size() && text[j] != QLatin1Char('"')) {
                if (text[j] == QLatin1Char('\\') && j + 1 < text.size()) ++j;
                literal += text[j++];
            }
            if (argument == index) literals.append(literal);
            i = j;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            if (--depth == 0) break;
        } else if (c == QLatin1Char(',') && depth == 1) {
            if (++argument > index) break;
        }
    }
    return literals;
}

// Every symbol name written in src/ where the code asks for a symbol (see ui/Symbols.h): the first
// argument of the symbol calls, and the third of onboarding's addHeader(), which is its tile's symbol.
QSet<QString> symbolNamesInSource() {
    static const QRegularExpression call(QStringLiteral(
        R"re(\b(?:(symbol|symbolIcon|symbolIconAsDrawn|symbolName|BrandIconTile|SymbolButton|setSymbolName)|(addHeader))\s*>?\s*\()re"));
    QSet<QString> names;
    QDirIterator it(kSource + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = withoutComments(QString::fromUtf8(file.readAll()));
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            const int index = match.hasCaptured(2) ? 2 : 0;
            for (const QString& name : literalsOfArgument(text, match.capturedEnd() - 1, index)) names.insert(name);
        }
    }
    return names;
}

}  // namespace

TEST(Symbols, EverySymbolNameUsedInTheSourceHasAnSvgFile) {
    const QSet<QString> names = symbolNamesInSource();
    // The scan sees the chip's own symbols, so it is looking at the right calls.
    ASSERT_TRUE(names.contains(QStringLiteral("xmark.circle.fill")));
    ASSERT_TRUE(names.contains(QStringLiteral("star.fill")));
    ASSERT_TRUE(names.contains(QStringLiteral("mic.badge.waveform")));  // an onboarding header's tile
    ASSERT_TRUE(names.contains(QStringLiteral("ellipsis.circle")));     // a tray state
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
