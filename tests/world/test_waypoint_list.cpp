// The waypoint list: its limit, the null append, popping to empty, the ring use.
#include <gtest/gtest.h>

#include "math/math3d.h"
#include "world/waypoint_list.h"

namespace {

TEST(WaypointList, RefusesEverythingUntilALimitIsSet) {
    WaypointList list;
    const Vector3 p{1, 2, 3};
    EXPECT_EQ(list.Append(&p), -1);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Front(), nullptr);
    EXPECT_EQ(list.SetLimit(2), 0);
    EXPECT_EQ(list.Append(&p), 0);
    EXPECT_EQ(list.Count(), 1);
}

TEST(WaypointList, FullListRefusesAndKeepsItsNodes) {
    WaypointList list;
    list.SetLimit(20);
    for (int i = 0; i < 20; ++i) {
        const Vector3 p{float(i), 0, 0};
        ASSERT_EQ(list.Append(&p), 0);
    }
    const Vector3 extra{99, 0, 0};
    EXPECT_EQ(list.Append(&extra), -1);
    EXPECT_EQ(list.Count(), 20);
    // Still first in, first out, and the refused point is nowhere.
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(list.Front(), nullptr);
        EXPECT_EQ(list.Front()->x, float(i));
        EXPECT_EQ(list.PopFront(), 0);
    }
    EXPECT_TRUE(list.IsEmpty());
}

TEST(WaypointList, LimitLoweredBelowTheCountRefuses) {
    WaypointList list;
    list.SetLimit(5);
    const Vector3 p{1, 1, 1};
    for (int i = 0; i < 4; ++i) list.Append(&p);
    list.SetLimit(2);
    EXPECT_EQ(list.Append(&p), -1);
    EXPECT_EQ(list.Count(), 4);
    list.SetLimit(-1);
    EXPECT_EQ(list.Append(&p), -1);
}

TEST(WaypointList, PopToEmptyNullsTheEnds) {
    WaypointList list;
    list.SetLimit(3);
    const Vector3 p{4, 5, 6};
    list.Append(&p);
    EXPECT_EQ(list.PopFront(), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Front(), nullptr);
    EXPECT_EQ(list.PopFront(), -1);
    // A list emptied this way links new nodes from scratch (tail was reset too).
    const Vector3 q{7, 8, 9}, r{1, 1, 1};
    list.Append(&q);
    list.Append(&r);
    EXPECT_EQ(list.Front()->x, 7.0f);
    list.PopFront();
    EXPECT_EQ(list.Front()->x, 1.0f);
}

TEST(WaypointList, NullAppendClearsAndSucceeds) {
    WaypointList list;
    list.SetLimit(4);
    const Vector3 p{1, 2, 3};
    list.Append(&p);
    list.Append(&p);
    EXPECT_EQ(list.Append(nullptr), 0);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Front(), nullptr);
    EXPECT_EQ(list.Append(nullptr), 0);
}

TEST(WaypointList, AppendCopiesThePoint) {
    WaypointList list;
    list.SetLimit(1);
    Vector3 p{1, 2, 3};
    list.Append(&p);
    p.x = 100;
    EXPECT_EQ(list.Front()->x, 1.0f);
}

TEST(WaypointList, RingUseKeepsTheCountAndRotatesTheOrder) {
    WaypointList list;
    list.SetLimit(3);
    for (float x : {1.0f, 2.0f, 3.0f}) {
        const Vector3 p{x, 0, 0};
        list.Append(&p);
    }
    for (float expected : {1.0f, 2.0f, 3.0f, 1.0f, 2.0f}) {
        const Vector3 front = *list.Front();
        EXPECT_EQ(front.x, expected);
        list.PopFront();
        EXPECT_EQ(list.Append(&front), 0);
        EXPECT_EQ(list.Count(), 3);
    }
}

}  // namespace
