#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QSet>
#include <QTest>

#include <algorithm>

#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/LanguageTag.h"
#include "ui/Rendering.h"
#include "ui/SupportedLanguage.h"
#include "ui/SymbolButton.h"

using namespace vandrel;
using vandrel::test::pixelAt;
using vandrel::test::renderAlone;

static_assert(SupportedLanguage::all.size() == 40);
static_assert(SupportedLanguage::all.front().code == "en" && SupportedLanguage::all.back().code == "oc");

TEST(SupportedLanguage, OffersFortyUniqueCodesInItsOrder) {
    std::vector<std::string_view> codes;
    for (const auto& l : SupportedLanguage::all) codes.push_back(l.code);
    const std::vector<std::string_view> expected = {"en", "de", "fr", "es", "it", "pt", "nl", "sv", "no", "da",
                                                    "fi", "is", "pl", "cs", "sk", "hu", "ro", "bg", "hr", "sr",
                                                    "sl", "uk", "ru", "et", "lv", "lt", "el", "tr", "sq", "bs",
                                                    "mk", "be", "mt", "ca", "eu", "gl", "cy", "br", "lb", "oc"};
    EXPECT_EQ(codes, expected);
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(std::adjacent_find(codes.begin(), codes.end()), codes.end());

    EXPECT_EQ(SupportedLanguage::forCode("lb")->name, "Luxembourgish");
    EXPECT_EQ(SupportedLanguage::forCode("no")->name, "Norwegian");
    EXPECT_FALSE(SupportedLanguage::forCode("xx"));
    EXPECT_FALSE(SupportedLanguage::forCode("EN"));
    EXPECT_FALSE(SupportedLanguage::forCode(""));
}

TEST(SupportedLanguage, DisplayNamesComeFromIcuInTheGivenLanguage) {
    EXPECT_EQ(languageDisplayName("de", "de", false), "Deutsch");
    EXPECT_EQ(languageDisplayName("en", "de", false), "Englisch");
    EXPECT_EQ(languageDisplayName("fr", "fr", false), "français");
    EXPECT_EQ(languageDisplayName("fr", "fr", true), "Français");
    EXPECT_EQ(languageDisplayName("xx", "en", true), "xx");  // neither ICU nor the list knows it
}

namespace {
struct Calls {
    int taps = 0, removals = 0;
};
std::unique_ptr<LanguageTag> makeTag(Calls& calls, bool primary, bool canRemove, bool active) {
    auto tag = std::make_unique<LanguageTag>(
        QStringLiteral("German"), primary, canRemove, active, [&calls] { ++calls.taps; },
        [&calls] { ++calls.removals; });
    tag->resize(tag->sizeHint());
    return tag;
}
void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2 - 1, w->height() / 2)); }
void clickName(LanguageTag* tag) { QTest::mouseClick(tag, Qt::LeftButton, {}, QPoint(14, tag->height() / 2)); }
}  // namespace

TEST(LanguageTag, TapsReachOnlyActiveSecondaryChipsAndRemovalFollowsCanRemove) {
    Calls calls;
    auto secondary = makeTag(calls, false, true, true);
    clickName(secondary.get());
    EXPECT_EQ(calls.taps, 1);
    click(secondary->removeButton());
    EXPECT_EQ(calls.removals, 1);
    EXPECT_EQ(calls.taps, 1);  // the button's click is not the chip's

    auto primary = makeTag(calls, true, true, true);
    clickName(primary.get());
    EXPECT_EQ(calls.taps, 1);

    auto inactive = makeTag(calls, false, true, false);
    clickName(inactive.get());
    EXPECT_EQ(calls.taps, 1);
    click(inactive->removeButton());
    EXPECT_EQ(calls.removals, 2);

    auto fixed = makeTag(calls, false, false, true);
    EXPECT_FALSE(fixed->removeButton()->isHidden());  // still drawn, dimmed
    EXPECT_FALSE(fixed->removeButton()->isEnabled());
    EXPECT_DOUBLE_EQ(fixed->removeButton()->currentOpacity(), 0.3);
    click(fixed->removeButton());
    EXPECT_EQ(calls.removals, 2);
}

TEST(LanguageTag, IsPaddedAndTintedByItsState) {
    Calls calls;
    auto active = makeTag(calls, false, true, true);
    auto primary = makeTag(calls, true, true, true);
    const QFontMetricsF metrics(monoFont(13));
    EXPECT_EQ(active->sizeHint().height(), static_cast<int>(std::ceil(metrics.height())) + 10);
    // The star adds its width and one spacing.
    EXPECT_EQ(primary->sizeHint().width() - active->sizeHint().width(), 10 + 4);

    // Left of the name, inside the capsule, only the background shows.
    const QImage on = renderAlone(*active);
    const QColor onFill = pixelAt(on, 5, active->height() / 2);
    EXPECT_NEAR(onFill.alphaF(), 0.15, 0.02);
    EXPECT_NEAR(onFill.hueF(), brandIndigoColor().hueF(), 0.02);

    auto inactive = makeTag(calls, false, true, false);
    const QColor offFill = pixelAt(renderAlone(*inactive), 5, inactive->height() / 2);
    EXPECT_NEAR(offFill.alphaF(), 0.3 * 0.5, 0.02);  // gray at 0.3, the chip at half opacity
    EXPECT_LT(offFill.saturationF(), 0.1);
}
