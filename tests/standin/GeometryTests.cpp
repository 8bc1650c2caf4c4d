// Whether a shape meets the search square, and the grid index that narrows
// the candidates.
#include "standin/SpatialIndex.h"
#include "standin/StandIn.h"

#include <gtest/gtest.h>

#include <random>

using namespace snapvane::standin;

namespace {
const Extent kBox{10, 10, 20, 20};
}

TEST(Intersection, PointsOnTheEdgeOrCornerCountButNotJustOutside) {
    EXPECT_TRUE(Intersects(Shape::Point(15, 15), kBox));
    EXPECT_TRUE(Intersects(Shape::Point(10, 15), kBox));
    EXPECT_TRUE(Intersects(Shape::Point(20, 20), kBox));
    EXPECT_FALSE(Intersects(Shape::Point(20.000001, 15), kBox));
    EXPECT_FALSE(Intersects(Shape::Point(15, 9.999999), kBox));
}

TEST(Intersection, LineCountsWhenItCrossesOrTouchesWithNoVertexInside) {
    EXPECT_TRUE(Intersects(Shape::Line({{0, 15}, {30, 15}}), kBox));           // straight through
    EXPECT_TRUE(Intersects(Shape::Line({{5, 5}, {25, 25}}), kBox));            // diagonal through corners
    EXPECT_TRUE(Intersects(Shape::Line({{0, 20}, {30, 20}}), kBox));           // along the top edge
    EXPECT_TRUE(Intersects(Shape::Line({{0, 0}, {0, 50}, {15, 15}}), kBox));   // second segment ends inside
    EXPECT_FALSE(Intersects(Shape::Line({{0, 25}, {25, 50}}), kBox));          // passes above
    EXPECT_FALSE(Intersects(Shape::Line({{0, 45}, {45, 0}}), kBox));           // beside the corner
    EXPECT_FALSE(Intersects(Shape::Line({{21, 0}, {21, 30}}), kBox));          // parallel, just right
}

TEST(Intersection, PolygonCountsByEdgeVertexOrByHoldingTheBox) {
    EXPECT_TRUE(Intersects(Shape::Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}}), kBox));  // holds it
    EXPECT_TRUE(Intersects(Shape::Polygon({{15, 15}, {50, 15}, {50, 50}}), kBox));             // vertex inside
    EXPECT_TRUE(Intersects(Shape::Polygon({{0, 12}, {30, 12}, {30, 18}, {0, 18}}), kBox));     // a band across
    EXPECT_TRUE(Intersects(Shape::Polygon({{20, 0}, {40, 0}, {40, 40}, {20, 40}}), kBox));     // shares an edge
    EXPECT_FALSE(Intersects(Shape::Polygon({{30, 30}, {40, 30}, {40, 40}}), kBox));
    // The closing edge counts too: this ring's last-to-first edge crosses the box.
    EXPECT_TRUE(Intersects(Shape::Polygon({{15, 0}, {50, 0}, {50, 50}, {15, 50}}), Extent{0, 20, 16, 30}));
}

TEST(Intersection, BoxInsideAHoleDoesNotMeetThePolygon) {
    Shape donut = Shape::Polygon({{0, 0}, {100, 0}, {100, 100}, {0, 100}});
    donut.parts.push_back({{5, 5}, {50, 5}, {50, 50}, {5, 50}});
    EXPECT_FALSE(Intersects(donut, kBox));
    EXPECT_TRUE(Intersects(donut, Extent{60, 60, 70, 70}));
}

TEST(Intersection, ZeroSizedBoxMeetsOnlyShapesThroughItsPoint) {
    const Extent dot{15, 15, 15, 15};
    EXPECT_TRUE(Intersects(Shape::Point(15, 15), dot));
    EXPECT_TRUE(Intersects(Shape::Line({{10, 10}, {20, 20}}), dot));
    EXPECT_TRUE(Intersects(Shape::Polygon({{0, 0}, {30, 0}, {30, 30}}), dot));
    EXPECT_FALSE(Intersects(Shape::Line({{10, 10}, {20, 21}}), dot));
    EXPECT_FALSE(Intersects(Shape::Point(15, 15.5), dot));
}

TEST(GridIndex, FindsExactlyWhatTestingEveryShapeFinds) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(0, 1000), size(0, 5);
    std::vector<Shape> shapes;
    std::vector<Extent> bounds;
    for (int i = 0; i < 3000; ++i) {
        const double x = at(random), y = at(random);
        Shape shape = i % 3 == 0   ? Shape::Point(x, y)
                      : i % 3 == 1 ? Shape::Line({{x, y}, {x + size(random), y + size(random)}})
                                   : Shape::Polygon({{x, y}, {x + size(random), y}, {x, y + size(random)}});
        if (i == 100) shape = Shape::Polygon({{-10, -10}, {1010, -10}, {1010, 1010}, {-10, 1010}});  // covers everything
        bounds.push_back(Bounds(shape));
        shapes.push_back(std::move(shape));
    }
    GridIndex index;
    index.Build(bounds);
    for (int q = 0; q < 300; ++q) {
        const double x = at(random), y = at(random), r = size(random);
        const Extent box{x - r, y - r, x + r, y + r};
        std::vector<size_t> expected, found;
        for (size_t i = 0; i < shapes.size(); ++i)
            if (Intersects(shapes[i], box)) expected.push_back(i);
        for (size_t i : index.Candidates(box))
            if (Intersects(shapes[i], box)) found.push_back(i);
        ASSERT_EQ(found, expected) << "query " << q;
    }
}
