// The model: bounds measurement and release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "map/model.h"
#include "platform/platform.h"
#include "support/recording_backend.h"

namespace {

class Model : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    void Hold(const std::vector<Vertex> &vertices) {
        FreeMapData();
        MapData.vertices = static_cast<Vertex *>(PlatAlloc(vertices.size() * sizeof(Vertex)));
        std::copy(vertices.begin(), vertices.end(), MapData.vertices);
        MapData.vertexCount = int32_t(vertices.size());
    }
};

TEST_F(Model, BoundsAreTheExtremesOfEachAxis) {
    Hold({{3, -1, 7}, {-5, 4, 7}, {2, 9, -8}});
    ComputeMapBounds();
    EXPECT_EQ(MapBounds.minX, -5.0f);
    EXPECT_EQ(MapBounds.maxX, 3.0f);
    EXPECT_EQ(MapBounds.minY, -1.0f);
    EXPECT_EQ(MapBounds.maxY, 9.0f);
    EXPECT_EQ(MapBounds.minZ, -8.0f);
    EXPECT_EQ(MapBounds.maxZ, 7.0f);
}

TEST_F(Model, OneVertexGivesEqualMinimumAndMaximum) {
    Hold({{100, 200, 300}});
    ComputeMapBounds();
    EXPECT_EQ(MapBounds.minX, MapBounds.maxX);
    EXPECT_EQ(MapBounds.minZ, 300.0f);
    EXPECT_EQ(MapBounds.maxZ, 300.0f);
}

TEST_F(Model, NotANumberReplacesAMinimumButNeverAMaximum) {
    Hold({{1, 1, 1}, {5, 0, 3}, {NAN, 2, 0}});
    ComputeMapBounds();
    EXPECT_TRUE(std::isnan(MapBounds.minX)) << "NaN is not >= 1, so it becomes the minimum";
    EXPECT_EQ(MapBounds.maxX, 5.0f);
    // Once the minimum is NaN, every later coordinate replaces it.
    Hold({{NAN, 0, 0}, {4, 0, 0}, {-2, 0, 0}});
    ComputeMapBounds();
    EXPECT_EQ(MapBounds.minX, -2.0f);
    EXPECT_TRUE(std::isnan(MapBounds.maxX)) << "nothing is > NaN";
}

// Long tables are measured four vertices at a time: every extreme must be
// found whichever vertex of a group, or of the tail after the last group,
// it sits in.
TEST_F(Model, BoundsOfLongTablesFindExtremesInEveryPosition) {
    for (int n = 4; n <= 13; n++) {
        for (int at = 0; at < n; at++) {
            std::vector<Vertex> table;
            for (int i = 0; i < n; i++) table.push_back({float(i % 3), float(i % 5), float(i % 7)});
            table[size_t(at)] = {-100.0f - float(at), 200.0f + float(at), -0.5f};
            table[size_t(n - 1 - at)].z = 300.0f;
            Hold(table);
            ComputeMapBounds();
            auto [minX, maxX] = std::minmax_element(table.begin(), table.end(),
                                                    [](Vertex a, Vertex b) { return a.x < b.x; });
            auto [minZ, maxZ] = std::minmax_element(table.begin(), table.end(),
                                                    [](Vertex a, Vertex b) { return a.z < b.z; });
            ASSERT_EQ(MapBounds.minX, -100.0f - float(at)) << n << " vertices, extreme at " << at;
            ASSERT_EQ(MapBounds.maxY, 200.0f + float(at)) << n << " " << at;
            ASSERT_EQ(MapBounds.maxZ, 300.0f) << n << " " << at;
            ASSERT_EQ(MapBounds.minX, minX->x);
            ASSERT_EQ(MapBounds.maxX, maxX->x) << n << " " << at;
            ASSERT_EQ(MapBounds.minZ, minZ->z) << n << " " << at;
            ASSERT_EQ(MapBounds.maxZ, maxZ->z);
        }
    }
}

// Where the order decides (NaN, and +0 against -0), long tables keep the
// order's answer too.
TEST_F(Model, NotANumberAndSignedZerosFollowTheTableOrderInLongTables) {
    Hold({{1, 0, 0}, {-7, 0, 0}, {9, 0, 0}, {NAN, 0, 0}, {3, 0, 0}, {4, 0, 0}, {2, 0, 0}, {8, 0, 0}});
    ComputeMapBounds();
    EXPECT_EQ(MapBounds.minX, 2.0f) << "only the vertices after the NaN count for the minimum";
    EXPECT_EQ(MapBounds.maxX, 9.0f) << "a NaN never becomes the maximum";
    // Of +0 and -0 the first in the table stays, though the later one sits
    // where a group-wise search meets it first (vertex 4 shares vertex 0's
    // place in its group).
    for (float first : {0.0f, -0.0f}) {
        float later = -first;
        Hold({{1, -1, 0}, {first, -first, 0}, {5, -5, 0}, {5, -5, 0},
              {later, -later, 0}, {5, -5, 0}, {5, -5, 0}, {5, -5, 0}});
        ComputeMapBounds();
        EXPECT_EQ(std::signbit(MapBounds.minX), std::signbit(first)) << "minimum";
        EXPECT_EQ(std::signbit(MapBounds.maxY), std::signbit(-first)) << "maximum";
    }
}

TEST_F(Model, EmptyTableKeepsThePreviousBounds) {
    Hold({{1, 2, 3}, {4, 5, 6}});
    ComputeMapBounds();
    Hold({});
    ComputeMapBounds();
    EXPECT_EQ(MapBounds.minX, 1.0f);
    EXPECT_EQ(MapBounds.maxZ, 6.0f);
}

TEST_F(Model, ReleasingTwiceOrBeforeLoadingIsHarmless) {
    FreeMapData();
    Hold({{1, 2, 3}});
    FreeMapData();
    FreeMapData();
    EXPECT_EQ(MapData.vertices, nullptr);
    EXPECT_EQ(MapData.vertexCount, 0);
    EXPECT_EQ(recording.liveBlocks, 0);
}

}  // namespace
