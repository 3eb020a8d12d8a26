#include <gtest/gtest.h>

#include "rectangle.h"

namespace {

TEST(Rectangle, CornersInAnyOrderAndIntersections) {
    Rect a, b, r;
    Rect_Set(&a, 10, 20, 0, 5);
    EXPECT_EQ(a.left, 0);
    EXPECT_EQ(a.top, 5);
    EXPECT_EQ(a.right, 10);
    EXPECT_EQ(a.bottom, 20);
    Rect_Set(&a, 0, 0, 10, 10);
    Rect_Set(&b, 10, 0, 20, 10);
    EXPECT_EQ(Rect_Intersect(&r, &a, &b), 0) << "touching edges share no pixel";
    Rect_Set(&b, 5, -5, 20, 7);
    ASSERT_EQ(Rect_Intersect(&r, &a, &b), 1);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 7);
    Rect_Set(&b, 30, 30, 40, 40);
    EXPECT_EQ(Rect_Intersect(&r, &a, &b), 0) << "disjoint rectangles are empty too";
}

}  // namespace
