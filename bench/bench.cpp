// bench.cpp - how fast KORVITAN loads a level, computes the six views and
// draws them, on generated levels up to the largest the format holds
// (65,536 vertices: the edge table's indices are 16 bits wide).
//
//   Load/SIZE          LoadBspFile + FreeMapData of a level file on disk
//   Segments/VIEW/SIZE BeginViewFrame + ProjectVertices + ViewSegmentFrom over
//                      every edge, as DrawView computes them
//   Raster/VIEW/SIZE   the view's segments (computed beforehand) drawn with
//                      RasterMoveTo/RasterLineTo on a 1920x1080 canvas
//   Draw/VIEW/SIZE     DrawView through the recording backend with nothing
//                      recorded: views plus platform calls, no pixels
//
// The levels are GridLevel's (tools/demo_levels.h): a grid of boxes with
// edges joining nearby boxes, from a fixed seed. Each level is written to a
// temporary file once per run. scripts/bench measures the same levels as
// ratios against their floors. Not part of the tests; run
//
//   build/korvitan_bench --benchmark_min_time=0.2
//
// and add --benchmark_filter=Raster (say) to run a subset.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "map/level_reader.h"
#include "map/model.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "tools/demo_levels.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "view/views.h"

enum { CANVAS_WIDTH = 1920, CANVAS_HEIGHT = 1080 };

struct LevelSize {
    const char *name;
    int32_t vertices;  // a multiple of 8 whose boxes fill a 2:1 grid
    int32_t edges;
};

static const LevelSize SIZES[] = {{"4k_60k", 4096, 60000}, {"64k_1m", 65536, 1000000}};
static const int SIZE_COUNT = 2;

static const struct {
    const char *name;
    int mode;
} VIEWS[] = {{"xy", IDM_VIEW_XY},   {"xz", IDM_VIEW_XZ},   {"yz", IDM_VIEW_YZ},
              {"3dx", IDM_VIEW_3DX}, {"3dy", IDM_VIEW_3DY}, {"3dz", IDM_VIEW_3DZ}};

static Bytes GenerateLevel(const LevelSize &size) {
    std::vector<Vertex> vertices;
    std::vector<Edge> edges;
    GridLevel(size.vertices, size.edges, &vertices, &edges);
    return LevelBytes(vertices, edges);
}

struct LevelFile {
    std::string path;
    int64_t bytes;
};

static const LevelFile &LevelFor(int size) {
    static LevelFile files[SIZE_COUNT];
    if (files[size].path.empty()) {
        Bytes bytes = GenerateLevel(SIZES[size]);
        files[size].path = WriteTempFile(std::string("bench_") + SIZES[size].name + ".bsp", bytes);
        files[size].bytes = int64_t(bytes.size());
    }
    return files[size];
}

// The size whose level is in MapData, or -1.
static int loadedSize = -1;

static void ForgetLoadEvents() {
    recording.titles.clear();
    recording.events.clear();
}

static void EnsureLoaded(int size) {
    if (loadedSize == size) return;
    ChooseFile(LevelFor(size).path);
    if (!LoadBspFile(RecordingWindow()) || MapData.edgeCount != SIZES[size].edges) {
        std::fprintf(stderr, "could not load the %s level\n", SIZES[size].name);
        std::exit(1);
    }
    ForgetLoadEvents();
    loadedSize = size;
}

static void BM_Load(benchmark::State &state, int size) {
    const LevelFile &level = LevelFor(size);
    ChooseFile(level.path);
    for (auto _ : state) {
        if (!LoadBspFile(RecordingWindow()) || MapData.edgeCount != SIZES[size].edges) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(MapData.edges);
        FreeMapData();
        ForgetLoadEvents();
    }
    loadedSize = -1;
    state.SetBytesProcessed(state.iterations() * level.bytes);
}

static void BM_Segments(benchmark::State &state, int size, int mode) {
    EnsureLoaded(size);
    for (auto _ : state) {
        ViewFrame frame;
        BeginViewFrame(mode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
        const ViewPoint *points = ProjectVertices(&frame);
        uint64_t sink = 0;
        ViewSegment s;
        for (int32_t i = 0; i < MapData.edgeCount; i++)
            if (ViewSegmentFrom(points, i, &s))
                sink += uint64_t(s.start.x) + 3 * uint64_t(s.start.y) + 5 * uint64_t(s.end.x) +
                        7 * uint64_t(s.end.y);
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * MapData.edgeCount);
}

static void BM_Raster(benchmark::State &state, int size, int mode) {
    EnsureLoaded(size);
    ViewFrame frame;
    BeginViewFrame(mode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    std::vector<ViewSegment> segments;
    double pixelsLong = 0;  // major-axis length of every line, in pixels
    ViewSegment s;
    for (int32_t i = 0; i < MapData.edgeCount; i++) {
        if (!ViewSegmentAt(&frame, i, &s)) continue;
        segments.push_back(s);
        int64_t dx = RasterMapCoordinate(s.end.x, CANVAS_WIDTH, frame.windowWidth) -
                     RasterMapCoordinate(s.start.x, CANVAS_WIDTH, frame.windowWidth);
        int64_t dy = RasterMapCoordinate(s.end.y, CANVAS_HEIGHT, frame.windowHeight) -
                     RasterMapCoordinate(s.start.y, CANVAS_HEIGHT, frame.windowHeight);
        pixelsLong += double(std::max(std::llabs(dx), std::llabs(dy)));
    }
    static std::vector<uint8_t> pixels(size_t(CANVAS_WIDTH) * CANVAS_HEIGHT);
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), CANVAS_WIDTH, CANVAS_HEIGHT);
    for (auto _ : state) {
        RasterClear(&canvas);
        RasterSetViewportExt(&canvas, frame.viewportWidth, frame.viewportHeight);
        RasterSetWindowExt(&canvas, frame.windowWidth, frame.windowHeight);
        for (const ViewSegment &seg : segments) {
            RasterMoveTo(&canvas, seg.start.x, seg.start.y);
            RasterLineTo(&canvas, seg.end.x, seg.end.y);
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * MapData.edgeCount);
    state.counters["px_per_line"] = segments.empty() ? 0.0 : pixelsLong / double(segments.size());
}

static void BM_Draw(benchmark::State &state, int size, int mode) {
    EnsureLoaded(size);
    recording.recordCalls = false;
    recording.clientRight = CANVAS_WIDTH;
    recording.clientBottom = CANVAS_HEIGHT;
    for (auto _ : state) {
        DrawView(RecordingWindow(), RecordingDC(), mode);
        benchmark::ClobberMemory();
    }
    if (!recording.calls.empty()) state.SkipWithError("drawing calls were recorded");
    state.SetItemsProcessed(state.iterations() * MapData.edgeCount);
}

int main(int argc, char **argv) {
    ResetRecording();
    recording.recordCalls = false;
    for (int size = 0; size < SIZE_COUNT; size++) {
        std::string suffix = std::string("/") + SIZES[size].name;
        benchmark::RegisterBenchmark(("Load" + suffix).c_str(),
                                     [size](benchmark::State &st) { BM_Load(st, size); })
            ->Unit(benchmark::kMillisecond);
        for (const auto &view : VIEWS) {
            std::string name = std::string("/") + view.name + suffix;
            int mode = view.mode;
            benchmark::RegisterBenchmark(("Segments" + name).c_str(), [size, mode](benchmark::State &st) {
                BM_Segments(st, size, mode);
            })->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("Raster" + name).c_str(), [size, mode](benchmark::State &st) {
                BM_Raster(st, size, mode);
            })->Unit(benchmark::kMillisecond);
            if (mode == IDM_VIEW_XY || mode == IDM_VIEW_3DZ)
                benchmark::RegisterBenchmark(("Draw" + name).c_str(), [size, mode](benchmark::State &st) {
                    BM_Draw(st, size, mode);
                })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeMapData();
    return 0;
}
