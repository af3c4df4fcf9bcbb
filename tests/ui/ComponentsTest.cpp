#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "ui/AccentHeadline.h"
#include "ui/BrandCard.h"
#include "ui/BrandGradientButtonStyle.h"
#include "ui/BrandIconTile.h"
#include "ui/Colors.h"
#include "ui/ComboGroupHeading.h"
#include "ui/DisplayHeadline.h"
#include "ui/Fonts.h"
#include "ui/KickerLabel.h"
#include "ui/LedeText.h"
#include "ui/Rendering.h"
#include "ui/SectionKicker.h"
#include "ui/SidebarTileLabelStyle.h"
#include "ui/StatusChip.h"
#include "ui/VandrelSecondaryButtonStyle.h"

using namespace vandrel;
using vandrel::test::lightestPixel;
using vandrel::test::pixelAt;
using vandrel::test::renderAlone;
using vandrel::test::strongestPixel;

namespace {

int ceilInt(double v) { return static_cast<int>(std::ceil(v)); }

// Channels within `tolerance` of 255-based values of `expected`, alpha included.
void expectColour(const QColor& actual, const QColor& expected, int tolerance = 4) {
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << actual.name(QColor::HexArgb).toStdString();
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << actual.name(QColor::HexArgb).toStdString();
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << actual.name(QColor::HexArgb).toStdString();
    EXPECT_NEAR(actual.alpha(), expected.alpha(), tolerance) << actual.name(QColor::HexArgb).toStdString();
}

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

}  // namespace

TEST(Fonts, PointsAreLogicalPixelsAndTrackingIsAddedPerLetter) {
    // Fractional sizes are kept (chips use 9.5); one point is one pixel.
    EXPECT_NEAR(QFontMetricsF(monoFont(20)).height() / QFontMetricsF(monoFont(10)).height(), 2.0, 0.1);
    EXPECT_NEAR(QFontInfo(monoFont(13)).pixelSize(), 13, 0);
    EXPECT_TRUE(QFontInfo(monoFont(13)).fixedPitch());
    EXPECT_EQ(monoFont(13).family(), monospacedFamily());

    const double plain = QFontMetricsF(monoFont(10, QFont::DemiBold)).horizontalAdvance(QStringLiteral("ABCD"));
    const double tracked = QFontMetricsF(monoFont(10, QFont::DemiBold, 1.5)).horizontalAdvance(QStringLiteral("ABCD"));
    EXPECT_NEAR(tracked - plain, 4 * 1.5, 0.6);
}

TEST(KickerAndChip, ShowTheirTextInCapitalsAndSizeFromTheirPadding) {
    KickerLabel kicker(QStringLiteral("Straße ahead · Étape"), Qt::red);
    EXPECT_EQ(kicker.displayText(), QStringLiteral("STRASSE AHEAD · ÉTAPE"));
    QFontMetricsF kickerMetrics(monoFont(10, QFont::DemiBold, 1.5));
    EXPECT_EQ(kicker.sizeHint().width(), ceilInt(kickerMetrics.horizontalAdvance(kicker.displayText())));
    // The accent over the capital "É" reaches above the font's ascent; the line makes room for it.
    const double accentTop = -kickerMetrics.tightBoundingRect(kicker.displayText()).top();
    EXPECT_EQ(kicker.sizeHint().height(),
              ceilInt(kickerMetrics.height()) + ceilInt(std::max(0.0, accentTop - kickerMetrics.ascent())));
    KickerLabel plain(QStringLiteral("plain"), Qt::red);
    EXPECT_EQ(plain.sizeHint().height(), ceilInt(kickerMetrics.height()));

    SectionKicker section(QStringLiteral("general"));
    EXPECT_EQ(section.displayText(), QStringLiteral("GENERAL"));
    EXPECT_EQ(section.colour(), brandIndigoColor());
    EXPECT_EQ(section.sizeHint().height(), ceilInt(kickerMetrics.height()) + 14 + 3);

    const QFontMetricsF chipMetrics(monoFont(9.5, QFont::DemiBold, 1.0));
    StatusChip chip(QStringLiteral("Active"), StatusChip::Tone::active);
    EXPECT_EQ(chip.displayText(), QStringLiteral("ACTIVE"));
    EXPECT_EQ(chip.sizeHint(), QSize(ceilInt(chipMetrics.horizontalAdvance(QStringLiteral("ACTIVE"))) + 14,
                                     ceilInt(chipMetrics.height()) + 6));
    StatusChip empty(QString(), StatusChip::Tone::info);
    EXPECT_EQ(empty.sizeHint(), QSize(14, ceilInt(chipMetrics.height()) + 6));
    // It can be squeezed (and then elides) but never below its padding.
    EXPECT_LT(chip.minimumSizeHint().width(), chip.sizeHint().width());
    EXPECT_GT(chip.minimumSizeHint().width(), 14);
}

TEST(KickerLabel, WrapsOntoMoreLinesInsteadOfCuttingItsText) {
    SectionKicker kicker(QStringLiteral("Probier es aus — klicke unten und sprich."));
    const QFontMetricsF metrics(monoFont(10, QFont::DemiBold, 1.5));
    const int oneLine = kicker.sizeHint().height();
    const int narrow = kicker.sizeHint().width() / 2;
    EXPECT_EQ(kicker.lineCount(kicker.sizeHint().width()), 1);
    EXPECT_GE(kicker.lineCount(narrow), 2);
    // Every line gets its height, and the section's padding stays around them.
    EXPECT_GE(kicker.heightForWidth(narrow), oneLine + ceilInt(metrics.height()));
    kicker.resize(narrow, kicker.heightForWidth(narrow));
    const QImage image = renderAlone(kicker);
    // Letters on the last line, just above the bottom padding.
    EXPECT_TRUE(test::anyPainted(
        image, QRect(0, image.height() - 3 - ceilInt(metrics.height()), narrow, ceilInt(metrics.height()))));
}

TEST(ComboGroupHeading, IsDrawnAsAHeadingAndCannotBeChosen) {
    QComboBox combo;
    combo.addItems({QStringLiteral("None"), QStringLiteral("MMMM Group"), QStringLiteral("Choice")});
    makeComboGroupHeading(combo, 1);
    EXPECT_TRUE(isComboGroupHeading(combo, 1));
    EXPECT_FALSE(isComboGroupHeading(combo, 2));
    combo.show();
    combo.showPopup();
    QAbstractItemView* view = combo.view();
    ASSERT_FALSE(view->model()->flags(view->model()->index(1, 0)) & (Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    const QImage image = view->viewport()->grab().toImage();
    // Its letters are indigo, like the kickers over the form's sections, not the grey of a disabled choice.
    const QRect row = view->visualRect(view->model()->index(1, 0)).intersected(image.rect());
    QColor bluest = Qt::white;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x) {
            const QColor c = pixelAt(image, x, y);
            if (c.blue() - c.red() > bluest.blue() - bluest.red()) bluest = c;
        }
    expectColour(bluest, brandIndigoColor(), 40);
    combo.hidePopup();
}

TEST(StatusChip, EachToneTintsTheTextAndAFaintBackground) {
    const std::pair<StatusChip::Tone, QColor> tones[] = {
        {StatusChip::Tone::active, QColor::fromRgbF(0.165f, 0.42f, 0.247f)},
        {StatusChip::Tone::info, brandIndigoColor()},
        {StatusChip::Tone::pending, QColor::fromRgbF(0.79f, 0.48f, 0.122f)},
    };
    for (const auto& [tone, colour] : tones) {
        SCOPED_TRACE(colour.name().toStdString());
        StatusChip chip(QStringLiteral("MMMM"), tone);
        const QImage image = renderAlone(chip);
        // Inside the padding only the background shows: the tone at 0.12.
        // (Colour channels of a faint pixel are coarse: a wider tolerance for them.)
        expectColour(pixelAt(image, chip.width() / 2, 1), withAlpha(colour, 0.12), 8);
        // The rounded corner leaves the very corner clear.
        EXPECT_LT(pixelAt(image, 0, 0).alpha(), 30);
        // The letters are in the tone's colour.
        expectColour(strongestPixel(image, chip.rect().adjusted(7, 3, -7, -3)), colour, 24);
    }
}

TEST(BrandIconTile, IsAGradientSquareWithAWhiteSymbolAtNearlyHalfItsSize) {
    BrandIconTile tile(QStringLiteral("largecircle.fill.circle"), 40);
    EXPECT_DOUBLE_EQ(tile.symbolSize(), 18.0);
    EXPECT_EQ(tile.size(), QSize(40, 40));
    const QImage image = renderAlone(tile);
    EXPECT_LT(pixelAt(image, 0, 0).alpha(), 40);  // rounded corner
    // The gradient runs from indigo at the top left to blue at the bottom right.
    expectColour(pixelAt(image, 4, 4), brandIndigoColor(), 20);
    expectColour(pixelAt(image, 35, 35), brandBlueColor(), 20);
    // The symbol's filled centre is white.
    expectColour(pixelAt(image, 20, 20), Qt::white, 6);
}

TEST(BrandCard, PadsItsContentOnTheControlBackgroundWithAHairlineInsideItsEdge) {
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QPalette palette = QApplication::palette();
        if (dark) {
            palette.setColor(QPalette::Window, QColor(30, 30, 30));
            palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
            palette.setColor(QPalette::Base, QColor(40, 40, 44));
        } else {
            palette.setColor(QPalette::Window, QColor(236, 236, 236));
            palette.setColor(QPalette::WindowText, QColor(10, 10, 10));
            palette.setColor(QPalette::Base, QColor(255, 255, 255));
        }
        auto* content = new QWidget;
        content->setFixedSize(100, 50);
        BrandCard card(content, 16);
        card.setPalette(palette);
        EXPECT_EQ(card.sizeHint(), QSize(132, 82));
        card.resize(card.sizeHint());
        card.layout()->activate();
        EXPECT_EQ(content->geometry(), QRect(16, 16, 100, 50));

        const QImage image = renderAlone(card);
        expectColour(pixelAt(image, 8, 41), palette.color(QPalette::Base), 2);
        EXPECT_EQ(isDark(palette), dark);
        // The 1-point hairline covers the outermost row and column exactly: the text colour at 0.08 over
        // the background, and nothing of it in the row inside.
        const QColor base = palette.color(QPalette::Base), text = palette.color(QPalette::WindowText);
        auto blend = [&](int b, int t) { return static_cast<int>(std::lround(b + (t - b) * 0.08)); };
        const QColor edge(blend(base.red(), text.red()), blend(base.green(), text.green()),
                          blend(base.blue(), text.blue()));
        expectColour(pixelAt(image, 66, 0), edge, 3);
        expectColour(pixelAt(image, 0, 41), edge, 3);
        expectColour(pixelAt(image, 66, 1), base, 2);
        EXPECT_LT(pixelAt(image, 0, 0).alpha(), 30);
    }
}

TEST(BrandGradientButton, FadesOnlyItsBackgroundWhenPressedOrDisabled) {
    BrandGradientButtonStyle button(QStringLiteral("Get started"));
    EXPECT_EQ(button.displayText(), QStringLiteral("GET STARTED"));
    QFontMetricsF metrics(monoFont(13, QFont::Bold, 0.6));
    EXPECT_EQ(button.sizeHint(), QSize(ceilInt(metrics.horizontalAdvance(QStringLiteral("GET STARTED"))) + 44,
                                       ceilInt(metrics.height()) + 20));

    struct Case {
        bool enabled, down;
        double background;
    };
    for (const Case& c :
         {Case{true, false, 1.0}, Case{true, true, 0.85}, Case{false, false, 0.4}, Case{false, true, 0.4}}) {
        SCOPED_TRACE(testing::Message() << "enabled " << c.enabled << " down " << c.down);
        button.setEnabled(c.enabled);
        button.setDown(c.down);
        const QImage image = renderAlone(button);
        EXPECT_NEAR(pixelAt(image, button.width() / 2, 3).alpha(), 255 * c.background, 3);
        // The white label is never dimmed by the style.
        expectColour(lightestPixel(image, button.rect().adjusted(22, 10, -22, -10)), Qt::white, 3);
    }
}

TEST(BrandGradientButton, TakesClicksOnItsRoundedShapeOnly) {
    BrandGradientButtonStyle button(QStringLiteral("Continue"));
    button.resize(button.sizeHint());
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));  // outside the rounded corner
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(3, button.height() / 2));  // padding, not label
    EXPECT_EQ(clicks, 1);
}

TEST(SecondaryButton, DimsTheWholeButtonAndLightensItsBorderWhilePressed) {
    VandrelSecondaryButtonStyle button(QStringLiteral("Skip"));
    QFontMetricsF metrics(systemFont(13, QFont::Medium));
    EXPECT_EQ(button.sizeHint(),
              QSize(ceilInt(metrics.horizontalAdvance(QStringLiteral("Skip"))) + 40, ceilInt(metrics.height()) + 16));
    for (bool down : {false, true}) {
        SCOPED_TRACE(down ? "pressed" : "released");
        button.setDown(down);
        const QImage image = renderAlone(button);
        const double whole = down ? 0.7 : 1.0;
        // The 1.5-wide border inside the edge fully covers the outermost row.
        expectColour(pixelAt(image, button.width() / 2, 0), brandIndigoColor((down ? 0.5 : 0.6) * whole), 3);
        EXPECT_EQ(pixelAt(image, button.width() / 2, 3).alpha(), 0);  // no fill
        expectColour(strongestPixel(image, button.rect().adjusted(20, 8, -20, -8)), brandIndigoColor(whole), 6);
    }
}

TEST(Headlines, WrapAndGrowInsteadOfBeingCutOff) {
    const QString longText = QStringLiteral(
        "Dictation that stays on this computer — Grüße, 你好世界, مرحبا بالعالم, "
        "Supercalifragilisticexpialidociousbutlongerstill");
    DisplayHeadline headline(longText, 28);
    LedeText lede(longText);
    AccentHeadline accent(QStringLiteral("Your words, "), longText, 22);
    for (WrappingText* w : std::initializer_list<WrappingText*>{&headline, &lede, &accent}) {
        SCOPED_TRACE(w->metaObject()->className());
        EXPECT_EQ(w->lineCount(100000), 1);
        // Its ideal size is a column of limited width, tall enough for the lines it then takes.
        const QSize ideal = w->sizeHint();
        EXPECT_EQ(ideal.width(), WrappingText::kIdealMaxWidth);
        EXPECT_EQ(ideal.height(), w->heightForWidth(ideal.width()));
        EXPECT_GT(w->lineCount(ideal.width()), 1);
        const int narrow = 160;
        EXPECT_GT(w->lineCount(narrow), 3);
        const double lineHeight = QFontMetricsF(w->textFont()).lineSpacing();
        // At least every line's height: a line whose glyphs come from a fallback font may be taller.
        EXPECT_GE(w->heightForWidth(narrow), w->lineCount(narrow) * (lineHeight - 1.0));
        EXPECT_LT(w->heightForWidth(narrow), w->lineCount(narrow) * lineHeight * 1.5);
        // The whole text is kept; nothing is elided.
        EXPECT_TRUE(w->text().endsWith(QStringLiteral("longerstill")));
    }
    // An empty headline keeps one line's height.
    DisplayHeadline empty(QString(), 28);
    EXPECT_GE(empty.heightForWidth(200), ceilInt(QFontMetricsF(monoFont(28, QFont::Bold)).height()) - 1);
}

TEST(Headlines, DrawInTheirStylesColours) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    LedeText lede(QStringLiteral("MMMM"));
    lede.setPalette(palette);
    expectColour(strongestPixel(renderAlone(lede), lede.rect()), withAlpha(Qt::black, secondaryColor(palette).alphaF()),
                 8);

    // Lead and accent run together on one line: the lead in the primary colour, the accent in indigo.
    AccentHeadline accent(QStringLiteral("MMMM "), QStringLiteral("MMMM"), 20);
    accent.setPalette(palette);
    EXPECT_EQ(accent.lineCount(accent.sizeHint().width()), 1);
    const QImage image = renderAlone(accent);
    const int half = accent.width() / 2;
    expectColour(strongestPixel(image, QRect(0, 0, half - 4, accent.height())),
                 withAlpha(Qt::black, primaryColor(palette).alphaF()), 8);
    expectColour(strongestPixel(image, QRect(half + 4, 0, half - 4, accent.height())), brandIndigoColor(), 12);
}

TEST(SidebarTileLabelStyle, DrawsTheSymbolOnAQuietTileBesideTheTitle) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    const QFont font = monoFont(13);
    const QSize size = SidebarTileLabelStyle::labelSize(font, QStringLiteral("General"));
    EXPECT_EQ(size, QSize(24 + 9 + ceilInt(QFontMetricsF(font).horizontalAdvance(QStringLiteral("General"))),
                          std::max(24, ceilInt(QFontMetricsF(font).height())) + 4));

    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        SidebarTileLabelStyle::paintLabel(&painter, image.rect(), QStringLiteral("largecircle.fill.circle"),
                                          QStringLiteral("General"), font, Qt::black, palette);
    }
    const int middle = size.height() / 2;
    // The tile: the primary colour at 0.08 (just inside its left edge), the symbol filled at its centre.
    expectColour(pixelAt(image, 1, middle), withAlpha(Qt::black, 0.08), 2);
    EXPECT_GT(pixelAt(image, 12, middle).alpha(), 200);
    EXPECT_EQ(pixelAt(image, 24 + 4, middle).alpha(), 0);  // the spacing
    EXPECT_GT(strongestPixel(image, QRect(24 + 9, 0, size.width() - 33, size.height())).alpha(), 200);
}
