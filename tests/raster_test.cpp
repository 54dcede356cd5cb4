// raster_test.cpp - tests of the line rasterizer: the reference pictures bit
// for bit, clipping against a naive per-step drawer, exact mapping and the
// extent edge cases.
#include "raster/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Int128 = __int128;

std::string ReferenceDir() {
    if (const char *env = std::getenv("KORVITAN_GDI_LINES")) return env;
    return KORVITAN_GDI_LINES_DIR;
}

// Reads a binary PBM (P4) into one byte per pixel, 1 = black.
bool ReadPbm(const std::string &path, int *width, int *height, std::vector<uint8_t> *pixels) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    for (int *field : {width, height}) {
        while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
        in >> *field;
    }
    in.get();  // the single whitespace byte before the raster
    if (!in || magic != "P4" || *width <= 0 || *height <= 0) return false;
    size_t rowBytes = size_t(*width + 7) / 8;
    std::vector<char> raw(rowBytes * size_t(*height));
    if (!in.read(raw.data(), std::streamsize(raw.size()))) return false;
    pixels->assign(size_t(*width) * size_t(*height), 0);
    for (int y = 0; y < *height; ++y)
        for (int x = 0; x < *width; ++x)
            (*pixels)[size_t(y) * *width + x] = (raw[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
    return true;
}

void ExpectMatchesReference(const std::string &name) {
    std::string dir = ReferenceDir();
    ASSERT_FALSE(dir.empty()) << "set KORVITAN_GDI_LINES to the reference picture directory";
    std::ifstream segments(dir + "/" + name + ".txt");
    ASSERT_TRUE(segments.is_open()) << "missing " << dir << "/" << name << ".txt";
    int32_t ww, wh, vw, vh;
    ASSERT_TRUE(segments >> ww >> wh >> vw >> vh);
    int width, height;
    std::vector<uint8_t> expected;
    ASSERT_TRUE(ReadPbm(dir + "/" + name + ".pbm", &width, &height, &expected)) << name << ".pbm";
    ASSERT_EQ(width, vw);
    ASSERT_EQ(height, vh);

    std::vector<uint8_t> pixels(expected.size());
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, vw, vh);
    RasterSetWindowExt(&canvas, ww, wh);
    int count = 0;
    for (int32_t x1, y1, x2, y2; segments >> x1 >> y1 >> x2 >> y2; ++count) {
        RasterMoveTo(&canvas, x1, y1);
        RasterLineTo(&canvas, x2, y2);
    }
    ASSERT_GT(count, 0);
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != expected[i]) {
            FAIL() << name << ": first differing pixel (" << i % width << ", " << i / width
                   << "): expected " << int(expected[i]) << ", drew " << int(pixels[i])
                   << " after " << count << " segments";
        }
    }
}

// Ceiling of a / b for b > 0, written out so it does not lean on the
// rasterizer's own helpers.
Int128 CeilDiv(Int128 a, Int128 b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }

// The obviously correct drawer: step i of n lights major0 + i (along the line)
// and minor0 + the nearest integer to i*d/n, halves to the lower coordinate,
// i.e. ceil((2*i*d - n) / 2n). It walks the canvas' major-axis coordinates
// instead of all n steps (each coordinate is at most one step), so huge lines
// stay cheap. Exact while coordinates stay within +-2^62.
void NaiveLine(std::vector<uint8_t> *pixels, int width, int height, int64_t x0, int64_t y0,
               int64_t x1, int64_t y1) {
    Int128 dx = Int128(x1) - x0, dy = Int128(y1) - y0;
    bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    Int128 dMajor = xMajor ? dx : dy, dMinor = xMajor ? dy : dx;
    Int128 major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    Int128 n = dMajor < 0 ? -dMajor : dMajor;
    for (int major = 0; major < (xMajor ? width : height); ++major) {
        Int128 step = dMajor < 0 ? major0 - major : major - major0;
        if (step < 0 || step >= n) continue;
        Int128 minor = minor0 + CeilDiv(2 * step * dMinor - n, 2 * n);
        Int128 x = xMajor ? Int128(major) : minor, y = xMajor ? minor : Int128(major);
        if (x >= 0 && x < width && y >= 0 && y < height) (*pixels)[size_t(y * width + x)] = 1;
    }
}

// Draws random segments one at a time with the rasterizer under identity
// extents (a logical unit is a pixel) and with the naive drawer, and
// reports the first segment whose pixels differ.
void ExpectDeviceLinesMatchNaive(uint64_t seed, int width, int height, int64_t nearLimit,
                                 int64_t farLimit) {
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int64_t> near(-nearLimit, nearLimit), far(-farLimit, farLimit);
    std::vector<uint8_t> pixels(size_t(width) * height), expected(pixels.size());
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    for (int segment = 0; segment < 3000; ++segment) {
        // Odd segments have one end near the canvas and the other anywhere.
        int32_t c[4];
        for (int k = 0; k < 4; ++k) c[k] = int32_t((segment % 2 && k < 2) ? near(random) : far(random));
        RasterClear(&canvas);
        RasterMoveTo(&canvas, c[0], c[1]);
        RasterLineTo(&canvas, c[2], c[3]);
        std::fill(expected.begin(), expected.end(), 0);
        NaiveLine(&expected, width, height, c[0], c[1], c[2], c[3]);
        ASSERT_EQ(pixels, expected) << "seed " << seed << " segment " << segment << ": (" << c[0]
                                    << ", " << c[1] << ") -> (" << c[2] << ", " << c[3] << ")";
    }
}

}  // namespace

TEST(Rasterizer, MatchesReferencePixelsIdentity) { ExpectMatchesReference("identity"); }
TEST(Rasterizer, MatchesReferencePixelsStretchWide) { ExpectMatchesReference("stretch_wide"); }
TEST(Rasterizer, MatchesReferencePixelsShrink) { ExpectMatchesReference("shrink"); }
TEST(Rasterizer, MatchesReferencePixelsOddRatio) { ExpectMatchesReference("odd_ratio"); }
TEST(Rasterizer, MatchesReferencePixelsAxisAndPoints) { ExpectMatchesReference("axis_and_points"); }
TEST(Rasterizer, MatchesReferencePixelsOutside) { ExpectMatchesReference("outside"); }

TEST(Rasterizer, ClippedLinesMatchNaiveDrawer) {
    ExpectDeviceLinesMatchNaive(1, 61, 47, 80, 300);  // mostly crossing the border
    ExpectDeviceLinesMatchNaive(2, 1, 1, 3, 40);  // a single-pixel canvas
    ExpectDeviceLinesMatchNaive(3, 97, 5, 120, 1000000);  // long lines, thin canvas
    ExpectDeviceLinesMatchNaive(4, 40, 40, 60, INT32_MAX);  // ends at the 32-bit limits
}

TEST(Rasterizer, MapCoordinateUsesAFloatScaleAndRoundsHalvesUp) {
    // Exact arithmetic gives 541.5 here; the float scale 722/2780 is a hair
    // small, so the Windows program draws on pixel 541. Seen in its 3D (X)
    // view of the demo level at a 952x722 client area.
    EXPECT_EQ(RasterMapCoordinate(2085, 722, 2780), 541);
    // Halves that the float scale holds exactly round up, for either sign.
    EXPECT_EQ(RasterMapCoordinate(5, 1, 2), 3);
    EXPECT_EQ(RasterMapCoordinate(-5, 1, 2), -2);
    EXPECT_EQ(RasterMapCoordinate(5, -1, 2), -2);
    EXPECT_EQ(RasterMapCoordinate(-3, 3, -2), 5);
    // The ends of the 32-bit range stay finite and keep their sign.
    EXPECT_EQ(RasterMapCoordinate(INT32_MAX, INT32_MAX, 1), int64_t(INT32_MAX) * 2147483648LL);
    EXPECT_EQ(RasterMapCoordinate(INT32_MIN, 1, INT32_MAX), -1);
    EXPECT_EQ(RasterMapCoordinate(0, INT32_MIN, 1), 0);
}

TEST(Rasterizer, LineToMatchesNaiveUnderAnyExtents) {
    const int size = 50;
    std::mt19937_64 random(11);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX), small(-120, 120);
    std::vector<uint8_t> pixels(size * size), expected(pixels.size());
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), size, size);
    for (int segment = 0; segment < 2000; ++segment) {
        // Half use small extents so lines are visible, half the whole range.
        auto pick = [&] { return segment % 2 ? small(random) : any(random); };
        int32_t vw = pick(), vh = pick(), ww = pick(), wh = pick();
        int32_t x0 = pick(), y0 = pick(), x1 = pick(), y1 = pick();
        if (!vw || !vh || !ww || !wh) continue;
        RasterClear(&canvas);
        RasterSetViewportExt(&canvas, vw, vh);
        RasterSetWindowExt(&canvas, ww, wh);
        RasterMoveTo(&canvas, x0, y0);
        RasterLineTo(&canvas, x1, y1);
        std::fill(expected.begin(), expected.end(), 0);
        NaiveLine(&expected, size, size, RasterMapCoordinate(x0, vw, ww),
                  RasterMapCoordinate(y0, vh, wh), RasterMapCoordinate(x1, vw, ww),
                  RasterMapCoordinate(y1, vh, wh));
        ASSERT_EQ(pixels, expected) << "segment " << segment;
    }
}

TEST(Rasterizer, HugeLinesDrawOnlyTheirVisibleRow) {
    // Both lines are symmetric about x = 0, where they pass exactly through
    // y = 6; they stay within a quarter pixel of it across the canvas, so
    // row 6 is lit and nothing else. A per-step loop over the whole line
    // would take billions of steps, or 2^62 for the second, whose x is
    // stretched by 2^31.
    std::vector<uint8_t> pixels(100 * 100);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), 100, 100);
    for (int pass = 0; pass < 2; ++pass) {
        RasterClear(&canvas);
        RasterSetViewportExt(&canvas, pass == 0 ? 1 : INT32_MAX, 1);
        RasterMoveTo(&canvas, INT32_MIN + 1, 5);
        RasterLineTo(&canvas, INT32_MAX, 7);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(pixels[y * 100 + x], y == 6 ? 1 : 0) << "pass " << pass << " (" << x
                                                               << ", " << y << ")";
    }
}

TEST(Rasterizer, ZeroExtentDrawsNothingButMovesCurrentPoint) {
    std::vector<uint8_t> pixels(40 * 40);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), 40, 40);
    RasterClear(&canvas);
    for (int axis = 0; axis < 4; ++axis) {
        RasterSetWindowExt(&canvas, axis == 0 ? 0 : 1, axis == 1 ? 0 : 1);
        RasterSetViewportExt(&canvas, axis == 2 ? 0 : 1, axis == 3 ? 0 : 1);
        RasterMoveTo(&canvas, 0, 0);
        RasterLineTo(&canvas, 10 + axis, 10);
        EXPECT_EQ(canvas.currentX, 10 + axis);
    }
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 1), 0);
    // Back to identity: the next line starts where the unmapped one ended.
    RasterSetWindowExt(&canvas, 1, 1);
    RasterSetViewportExt(&canvas, 1, 1);
    RasterLineTo(&canvas, 13, 20);
    EXPECT_EQ(pixels[10 * 40 + 13], 1);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 1), 10);
}

TEST(Rasterizer, NegativeExtentsMirror) {
    std::vector<uint8_t> pixels(30 * 30);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), 30, 30);
    RasterClear(&canvas);
    RasterSetWindowExt(&canvas, -30, 30);
    RasterSetViewportExt(&canvas, 30, -30);
    RasterMoveTo(&canvas, -10, -12);  // device (10, 12)
    RasterLineTo(&canvas, -20, -12);  // device (20, 12), not drawn
    for (int x = 0; x < 30; ++x) EXPECT_EQ(pixels[12 * 30 + x], x >= 10 && x < 20) << x;
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 1), 10);
}

// A batch is drawn exactly as its segments one by one, whether one thread
// draws it or two share it: a batch above the threshold, lines crossing
// each other and the canvas's edges under a stretching mapping, against
// RasterMoveTo/RasterLineTo; and a batch with zero extents draws nothing
// but still moves the current point.
TEST(Rasterizer, BatchesDrawTheSegmentsOneByOneWhateverTheThreads) {
    // Few enough pixels lit that leaving out any one segment shows.
    const int32_t width = 1601, height = 1201;
    std::mt19937_64 random(5);
    std::uniform_int_distribution<int32_t> x(-200, 3200), y(-100, 2500), step(-24, 24);
    std::vector<RasterSegment> segments(RASTER_THREAD_THRESHOLD + 7);
    for (size_t i = 0; i < segments.size(); i++) {
        int32_t x0 = x(random), y0 = y(random);
        // Mostly short lines, every hundredth one across everything.
        segments[i] = i % 100 ? RasterSegment{x0, y0, x0 + step(random), y0 + step(random)}
                              : RasterSegment{x0, y0, x(random), y(random)};
    }
    auto draw = [&](int threads, std::vector<uint8_t> *pixels) {
        pixels->assign(size_t(width) * height, RASTER_WHITE);
        RasterCanvas canvas;
        RasterInit(&canvas, pixels->data(), width, height);
        RasterSetViewportExt(&canvas, width, height);
        RasterSetWindowExt(&canvas, 3001, 2399);
        if (threads == 0) {
            for (const RasterSegment &s : segments) {
                RasterMoveTo(&canvas, s.x0, s.y0);
                RasterLineTo(&canvas, s.x1, s.y1);
            }
        } else if (threads == 3) {
            RasterDrawSegments(&canvas, segments.data(), segments.size());  // by the threshold
        } else {
            RasterDrawSegmentsThreads(&canvas, segments.data(), segments.size(), threads);
        }
        EXPECT_EQ(canvas.currentX, segments.back().x1);
        EXPECT_EQ(canvas.currentY, segments.back().y1);
    };
    std::vector<uint8_t> oneByOne, batch;
    draw(0, &oneByOne);
    for (int threads : {1, 2, 3}) {
        draw(threads, &batch);
        EXPECT_EQ(batch, oneByOne) << threads << " (3: as RasterDrawSegments chooses)";
    }

    std::vector<uint8_t> pixels(size_t(width) * height, RASTER_WHITE);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    RasterSetWindowExt(&canvas, 0, 2399);
    RasterDrawSegmentsThreads(&canvas, segments.data(), segments.size(), 2);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), RASTER_BLACK), 0);
    EXPECT_EQ(canvas.currentX, segments.back().x1);
}
