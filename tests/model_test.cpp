// The model: bounds measurement and release.
#include <gtest/gtest.h>

#include <cmath>

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
    MapData.selectedIndex = 4;
    FreeMapData();
    FreeMapData();
    EXPECT_EQ(MapData.vertices, nullptr);
    EXPECT_EQ(MapData.vertexCount, 0);
    EXPECT_EQ(MapData.selectedIndex, 4) << "the release leaves the selection alone";
    EXPECT_EQ(recording.liveBlocks, 0);
}

}  // namespace
