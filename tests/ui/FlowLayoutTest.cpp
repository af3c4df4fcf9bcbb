#include <gtest/gtest.h>

#include <QWidget>

#include <limits>
#include <memory>

#include "ui/FlowLayout.h"

using namespace vandrel;

namespace {

// A container with a FlowLayout of fixed-size boxes.
struct Flow {
    explicit Flow(double spacing) : layout(new FlowLayout(spacing, &host)) {}
    QWidget* add(int w, int h) {
        auto* box = new QWidget(&host);
        box->setFixedSize(w, h);
        layout->addWidget(box);
        return box;
    }
    QWidget host;
    FlowLayout* layout;
};

std::vector<QPointF> points(std::initializer_list<QPointF> p) { return p; }

}  // namespace

TEST(FlowLayout, WrapsAtTheWidthAndReportsTheWidestRowWithItsTrailingSpacing) {
    Flow empty(6);
    EXPECT_EQ(empty.layout->arrange(100).size, QSizeF(0, 0));
    EXPECT_TRUE(empty.layout->arrange(100).positions.empty());

    Flow flow(6);
    for (int i = 0; i < 3; ++i) flow.add(50, 20);
    // Unbounded: one row, and the width counts the spacing after the last chip.
    auto one = flow.layout->arrange();
    EXPECT_EQ(one.positions, points({{0, 0}, {56, 0}, {112, 0}}));
    EXPECT_EQ(one.size, QSizeF(168, 20));
    EXPECT_EQ(flow.layout->sizeHint(), QSize(168, 20));

    // The third chip ends exactly at 162: it stays; one point less and it wraps.
    EXPECT_EQ(flow.layout->arrange(162).positions[2], QPointF(112, 0));
    auto wrapped = flow.layout->arrange(161);
    EXPECT_EQ(wrapped.positions, points({{0, 0}, {56, 0}, {0, 26}}));
    EXPECT_EQ(wrapped.size, QSizeF(112, 46));
    EXPECT_EQ(flow.layout->heightForWidth(161), 46);
    EXPECT_EQ(flow.layout->heightForWidth(162), 20);
}

TEST(FlowLayout, CentredRowsLeaveEqualRoomOnBothSides) {
    Flow flow(6);
    for (int i = 0; i < 3; ++i) flow.add(50, 20);
    flow.layout->setRowAlignment(Qt::AlignHCenter);
    // Two chips fit into 161 (106 wide with the spacing between them): 27.5 either side; the third alone.
    EXPECT_EQ(flow.layout->arrange(161).positions, points({{27.5, 0}, {83.5, 0}, {55.5, 26}}));
    // Unbounded there is no middle to centre on; sizes do not change with the alignment.
    EXPECT_EQ(flow.layout->arrange().positions, points({{0, 0}, {56, 0}, {112, 0}}));
    EXPECT_EQ(flow.layout->heightForWidth(161), 46);
}

TEST(FlowLayout, RowsShareATopEdgeAndAnOverwideItemStandsAlone) {
    Flow flow(8);
    flow.add(40, 10);
    flow.add(40, 30);
    flow.add(200, 12);  // wider than the width
    flow.add(40, 10);
    auto a = flow.layout->arrange(100);
    // Different heights: same y; the next row starts below the tallest plus the spacing.
    EXPECT_EQ(a.positions, points({{0, 0}, {48, 0}, {0, 38}, {0, 58}}));
    EXPECT_EQ(a.size, QSizeF(208, 68));

    Flow single(6);
    single.add(300, 20);
    EXPECT_EQ(single.layout->arrange(100).positions, points({{0, 0}}));
    EXPECT_EQ(single.layout->arrange(100).size, QSizeF(306, 20));
}

TEST(FlowLayout, PlacesItsWidgetsAtTheArrangedPositionsWithTheirOwnSizes) {
    Flow flow(6);
    QWidget* a = flow.add(50, 20);
    QWidget* b = flow.add(70, 24);
    QWidget* c = flow.add(50, 20);
    QWidget* hidden = flow.add(500, 500);
    hidden->hide();
    flow.layout->setContentsMargins(4, 5, 4, 5);
    flow.host.resize(140, 200);
    flow.layout->setGeometry(flow.host.rect());

    EXPECT_EQ(a->geometry(), QRect(4, 5, 50, 20));
    EXPECT_EQ(b->geometry(), QRect(60, 5, 70, 24));
    EXPECT_EQ(c->geometry(), QRect(4, 35, 50, 20));
    // A hidden widget takes no place in the rows.
    EXPECT_EQ(flow.layout->heightForWidth(140), 5 + 24 + 6 + 20 + 5);
    // A container asks its layout, so the host grows with the rows.
    EXPECT_EQ(flow.host.heightForWidth(140), 60);
    EXPECT_EQ(flow.host.heightForWidth(400), 34);
    EXPECT_EQ(flow.layout->minimumSize(), QSize(70 + 8, 24 + 10));
}
