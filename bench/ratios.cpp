// ratios.cpp - the hot paths of KORVITAN measured against their floors, side
// by side in one run, as ratios (scripts/bench prints them with the window's).
//
//   korvitan_ratios LEVEL_DIR CLI [REPETITIONS [FILTER]]
//
// LEVEL_DIR holds the levels `mkdemo --bench` writes (town.bsp, about 20,000
// edges; town_surfaces.bsp, the town as surfaces, about 5 MB;
// grid_4k_60k.bsp; grid_64k_1m.bsp) and the archives scripts/bench
// makes beside them (list-500m.zip and list-5m.zip: 10,000 entries each,
// 500 MB and 5 MB; level.pk3: the million-edge grid, deflated, among a few
// other entries; batch/: 100 copies of the town); CLI is korvitan-cli. Every
// repetition times the path and its floor one after the other, each run
// often enough to last a few tens of milliseconds; FILTER keeps only the
// rows whose name holds it. A row shows the fastest path time over the
// fastest floor time (min), the median of the repetitions' ratios
// (median), the target, and the median times.
//
// The floors, written out below so anyone can read what they are:
//   load      open + read of the whole file into a fresh heap block + close
//             (for a level that stores surfaces the load also makes its
//             edges: the target is 3, not 1.5)
//   segments  each vertex projected once into a table (the views' own
//             arithmetic, written out for the view), then per edge the two
//             ends looked up: the same segments, byte for byte
//   raster    a tight loop over the same device segments (mapped beforehand)
//             with the rasterizer's pixel rule, on a canvas one pixel wider
//             and taller, so it needs no clipping and no bounds check; its
//             pixels are checked to be the rasterizer's
//   draw      the segments floor followed by the raster floor, one thread
//   threads   the same draw, or the raster alone on the first N segments,
//             with one thread: where two start to pay
//   copy      the canvas into a cairo image by the same loop with its bounds
//             and pointers in locals
//   render    `korvitan-cli info` on the same file, as a whole process
//   svg, pdf  `korvitan-cli render` of the same view to PNG, as a whole
//             process; the row also gives the peak memory of the process
//   batch     the same pictures made by one `korvitan-cli render` call per
//             level, one after the other: `korvitan-cli batch` over a
//             folder of 100 levels (batch/, copies of the town) against
//             100 sequential renders of them at 800x600 in the 3D (Z) view
//   archive   `unzip -p ARCHIVE ENTRY > /dev/null` for reading a level out
//             of a ZIP (`korvitan-cli info ARCHIVE --map ENTRY`); listing an
//             archive has no floor but a time, 0.2 s for 10,000 entries and
//             500 MB, and its peak memory is measured against the same
//             entries in 5 MB: listing reads the directory, not the data
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cairo/canvas_image.h"
#include "map/level_reader.h"
#include "map/model.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "view/views.h"

extern char **environ;

enum { CANVAS_WIDTH = 1920, CANVAS_HEIGHT = 1080 };

static int repetitions = 7;
static std::string filter;  // only the rows whose name holds it

static bool Wanted(const std::string &name) { return name.find(filter) != std::string::npos; }

using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Seconds per call of fn, called until at least minSeconds have passed.
template <typename Fn>
static double TimePerCall(Fn fn, double minSeconds = 0.03) {
    int calls = 0;
    Clock::time_point start = Clock::now(), now;
    do {
        fn();
        calls++;
        now = Clock::now();
    } while (Seconds(start, now) < minSeconds);
    return Seconds(start, now) / calls;
}

static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// min: the fastest time of the path over the fastest of the floor, what
// the code does when nothing else runs; median: the median of the
// repetitions' ratios, what it did while the machine was shared.
static void PrintRow(const std::string &name, const std::vector<double> &paths,
                     const std::vector<double> &floors, const char *target) {
    std::vector<double> ratios;
    for (size_t i = 0; i < paths.size(); i++) ratios.push_back(paths[i] / floors[i]);
    double fastest = *std::min_element(paths.begin(), paths.end()) /
                     *std::min_element(floors.begin(), floors.end());
    std::printf("%-46s %7.2f %7.2f %8s   %.3g ms vs %.3g ms\n", name.c_str(), fastest, Median(ratios),
                target, Median(paths) * 1e3, Median(floors) * 1e3);
    std::fflush(stdout);
}

// Times path and floor side by side, repetition after repetition.
template <typename Path, typename Floor>
static void Compare(const std::string &name, const char *target, Path path, Floor floor) {
    if (!Wanted(name)) return;
    std::vector<double> paths, floors;
    for (int r = 0; r < repetitions; r++) {
        paths.push_back(TimePerCall(path));
        floors.push_back(TimePerCall(floor));
    }
    PrintRow(name, paths, floors, target);
}

// ---- Levels -----------------------------------------------------------------------

struct Level {
    const char *file;
    const char *name;
};

static const Level TOWN = {"town.bsp", "town 16k/22k"};
static const Level GRID_60K = {"grid_4k_60k.bsp", "grid 4k/60k"};
static const Level GRID_1M = {"grid_64k_1m.bsp", "grid 64k/1M"};
static const Level TOWN_SURFACES = {"town_surfaces.bsp", "town as surfaces 5 MB"};

static std::string levelDir;

static std::string PathOf(const Level &level) { return levelDir + "/" + level.file; }

static void Load(const Level &level) {
    ChooseFile(PathOf(level));
    if (!LoadBspFile(RecordingWindow())) {
        std::fprintf(stderr, "korvitan_ratios: cannot load %s\n", PathOf(level).c_str());
        std::exit(1);
    }
    recording.titles.clear();
    recording.events.clear();
}

// ---- Load ---------------------------------------------------------------------------

static void ReadWholeFile(const std::string &path, size_t size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    void *block = std::malloc(size);
    if (fd < 0 || !block || read(fd, block, size) != ssize_t(size)) std::abort();
    close(fd);
    std::free(block);
}

static void CompareLoad(const Level &level, const char *target = "1.5") {
    std::string path = PathOf(level);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) std::abort();
    FreeMapData();
    Compare(std::string("load ") + level.name + " / open+read+close", target,
            [&] {
                Load(level);
                FreeMapData();
            },
            [&] { ReadWholeFile(path, size_t(st.st_size)); });
}

// ---- Segments -------------------------------------------------------------------------

static int32_t Trunc32(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

// The floor's projection of the X-Y view: each difference from the minimum
// rounded to float, the flip and the margin in double.
static ViewPoint FloorXY(const ViewFrame &f, const Vertex &v) {
    float rh = float(double(v.x) - double(f.minH));
    float rv = float(double(v.y) - double(f.minV));
    return {Trunc32(double(rh) + f.margin), Trunc32((f.flip - double(rv)) + f.margin)};
}

// The floor's projection of the 3D (Z) view: x and y moved by the depth z.
static ViewPoint Floor3DZ(const ViewFrame &f, const Vertex &v) {
    float rh = float(double(v.x) - double(f.minH));
    float rv = float(double(v.y) - double(f.minV));
    float rd = float(double(v.z) - double(f.minD));
    double depth = double(rd) * double(OBLIQUE_SCALE);
    float sx = float(double(rh) + depth * double(OBLIQUE_COS));
    float sy = float(double(rv) + depth * double(OBLIQUE_SIN));
    return {Trunc32(double(sx)), Trunc32(f.flip - double(sy))};
}

static std::vector<ViewPoint> floorPoints;

// Project once, look up per edge. Returns the number of segments.
static size_t FloorSegments(int viewMode, std::vector<ViewSegment> *out) {
    ViewFrame f;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &f);
    int32_t n = MapData.vertexCount;
    floorPoints.resize(size_t(n));
    if (viewMode == IDM_VIEW_XY)
        for (int32_t i = 0; i < n; i++) floorPoints[size_t(i)] = FloorXY(f, MapData.vertices[i]);
    else
        for (int32_t i = 0; i < n; i++) floorPoints[size_t(i)] = Floor3DZ(f, MapData.vertices[i]);
    out->resize(size_t(MapData.edgeCount));
    size_t k = 0;
    for (int32_t i = 0; i < MapData.edgeCount; i++) {
        const Edge &e = MapData.edges[i];
        if (e.first >= uint32_t(n) || e.second >= uint32_t(n)) continue;
        (*out)[k++] = ViewSegment{floorPoints[e.first], floorPoints[e.second]};
    }
    return k;
}

// The program's way to the segments of a view, as DrawView computes them:
// the vertices projected once, then both ends of each edge looked up.
static size_t ProgramSegments(int viewMode, std::vector<ViewSegment> *out) {
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    out->resize(size_t(MapData.edgeCount));
    const ViewPoint *points = ProjectVertices(&frame);
    size_t k = 0;
    ViewSegment s;
    for (int32_t i = 0; i < MapData.edgeCount; i++)
        if (ViewSegmentFrom(points, i, &s)) (*out)[k++] = s;
    return k;
}

// The same gathered as the programs' backends gather them for the raster.
static size_t ProgramRasterSegments(int viewMode, std::vector<RasterSegment> *out) {
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    out->resize(size_t(MapData.edgeCount));
    const ViewPoint *points = ProjectVertices(&frame);
    size_t k = 0;
    ViewSegment s;
    for (int32_t i = 0; i < MapData.edgeCount; i++)
        if (ViewSegmentFrom(points, i, &s)) (*out)[k++] = {s.start.x, s.start.y, s.end.x, s.end.y};
    return k;
}

static const char *ViewName(int viewMode) { return viewMode == IDM_VIEW_XY ? "xy" : "3dz"; }

static void CompareSegments(const Level &level, int viewMode) {
    Load(level);
    std::vector<ViewSegment> ours, floor;
    size_t n = ProgramSegments(viewMode, &ours);
    if (FloorSegments(viewMode, &floor) != n || std::memcmp(ours.data(), floor.data(), n * sizeof(ViewSegment))) {
        std::fprintf(stderr, "korvitan_ratios: the floor's segments differ from the program's\n");
        std::exit(1);
    }
    Compare(std::string("segments ") + level.name + " " + ViewName(viewMode) + " / project-once",
            "1.2", [&] { ProgramSegments(viewMode, &ours); }, [&] { FloorSegments(viewMode, &floor); });
    FreeMapData();
}

// ---- Raster -----------------------------------------------------------------------------

struct DeviceSegment {
    int32_t x0, y0, x1, y1;
};

// The floor's canvas has a spare column and row for the end points that map
// onto the far border (the end pixel itself is never drawn).
enum { FLOOR_STRIDE = CANVAS_WIDTH + 1 };
static std::vector<uint8_t> floorPixels(size_t(FLOOR_STRIDE) * (CANVAS_HEIGHT + 1));

// The rasterizer's pixel rule in its plainest form: n steps along the major
// axis, the minor coordinate moving where the exact line passes its half,
// halves to the lower coordinate, the end pixel left out. Set up and
// stepped without a branch, as the rasterizer does: the floor should be the
// fastest plain loop there is, and on a level's lines of every direction
// and slope that is faster than branching.
static void FloorLine(const DeviceSegment &s) {
    int64_t dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    int64_t signX = dx >> 63, signY = dy >> 63;
    int64_t adx = (dx ^ signX) - signX, ady = (dy ^ signY) - signY;
    bool xMajor = adx >= ady;
    int64_t n = xMajor ? adx : ady, minor2 = 2 * (xMajor ? ady : adx), steps2 = 2 * n;
    ptrdiff_t stepX = signX | 1, stepY = (signY | 1) * FLOOR_STRIDE;
    ptrdiff_t major = xMajor ? stepX : stepY, minor = xMajor ? stepY : stepX;
    int64_t error = n + (xMajor ? signY : signX);
    uint8_t *p = floorPixels.data() + ptrdiff_t(s.y0) * FLOOR_STRIDE + s.x0;
    for (int64_t i = 0; i < n; i++) {
        *p = RASTER_BLACK;
        error -= minor2;
        int64_t moves = error >> 63;
        error += steps2 & moves;
        p += major + (minor & moves);
    }
}

static void FloorRaster(const std::vector<DeviceSegment> &device) {
    std::memset(floorPixels.data(), RASTER_WHITE, floorPixels.size());
    for (const DeviceSegment &s : device) FloorLine(s);
}

static std::vector<DeviceSegment> MapToDevice(const std::vector<ViewSegment> &segments, size_t n,
                                              const ViewFrame &f) {
    std::vector<DeviceSegment> device;
    for (size_t i = 0; i < n; i++) {
        const ViewSegment &s = segments[i];
        device.push_back({int32_t(RasterMapCoordinate(s.start.x, f.viewportWidth, f.windowWidth)),
                          int32_t(RasterMapCoordinate(s.start.y, f.viewportHeight, f.windowHeight)),
                          int32_t(RasterMapCoordinate(s.end.x, f.viewportWidth, f.windowWidth)),
                          int32_t(RasterMapCoordinate(s.end.y, f.viewportHeight, f.windowHeight))});
        const DeviceSegment &d = device.back();
        if (std::min({d.x0, d.y0, d.x1, d.y1}) < 0 || std::max(d.x0, d.x1) > CANVAS_WIDTH ||
            std::max(d.y0, d.y1) > CANVAS_HEIGHT) {
            std::fprintf(stderr, "korvitan_ratios: a segment maps outside the canvas\n");
            std::exit(1);
        }
    }
    return device;
}

static std::vector<uint8_t> canvasPixels(size_t(CANVAS_WIDTH) * CANVAS_HEIGHT);

static void ProgramRaster(const ViewFrame &frame, const std::vector<RasterSegment> &segments, size_t n,
                          int threads) {
    RasterCanvas canvas;
    RasterInit(&canvas, canvasPixels.data(), CANVAS_WIDTH, CANVAS_HEIGHT);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, frame.viewportWidth, frame.viewportHeight);
    RasterSetWindowExt(&canvas, frame.windowWidth, frame.windowHeight);
    RasterDrawSegmentsThreads(&canvas, segments.data(), n, threads);
}

// A floor that lights other pixels than the program measures something
// else: both pictures are compared before anything is timed.
static void CheckFloorPixels(void) {
    for (int y = 0; y < CANVAS_HEIGHT; y++)
        if (std::memcmp(&floorPixels[size_t(y) * FLOOR_STRIDE], &canvasPixels[size_t(y) * CANVAS_WIDTH],
                        CANVAS_WIDTH) != 0) {
            std::fprintf(stderr, "korvitan_ratios: the raster floor lights other pixels (row %d)\n", y);
            std::exit(1);
        }
}

static void CompareRaster(const Level &level, int viewMode) {
    Load(level);
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    std::vector<ViewSegment> segments;
    size_t n = ProgramSegments(viewMode, &segments);
    std::vector<DeviceSegment> device = MapToDevice(segments, n, frame);
    std::vector<RasterSegment> batch;
    ProgramRasterSegments(viewMode, &batch);
    ProgramRaster(frame, batch, n, 1);
    FloorRaster(device);
    CheckFloorPixels();
    Compare(std::string("raster ") + level.name + " " + ViewName(viewMode) + " / premapped loop",
            MapData.edgeCount >= 1000000 ? "1.1" : "-",
            [&] { ProgramRaster(frame, batch, n, 1); }, [&] { FloorRaster(device); });
    FreeMapData();
}

// ---- Draw: segments and raster together ----------------------------------------------------

// The whole draw of a picture as korvitan-cli and the window do it:
// segments gathered, canvas cleared, segments drawn with the given threads.
static void ProgramDraw(int viewMode, std::vector<RasterSegment> *batch, int threads) {
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    size_t n = ProgramRasterSegments(viewMode, batch);
    ProgramRaster(frame, *batch, n, threads);
}

static void CompareDraw(const Level &level, int viewMode) {
    Load(level);
    std::vector<ViewSegment> floorSegments;
    std::vector<RasterSegment> batch;
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    // The floor maps its segments to the device outside its time.
    size_t n = FloorSegments(viewMode, &floorSegments);
    std::vector<DeviceSegment> device = MapToDevice(floorSegments, n, frame);
    auto floor = [&] {
        FloorSegments(viewMode, &floorSegments);
        FloorRaster(device);
    };
    std::string what = std::string("draw ") + level.name + " " + ViewName(viewMode) + " 1920x1080 ";
    Compare(what + "1 thread / floor", "1.2", [&] { ProgramDraw(viewMode, &batch, 1); }, floor);
    Compare(what + "2 threads / floor", "0.65", [&] { ProgramDraw(viewMode, &batch, 2); }, floor);
    FreeMapData();
}

// Where two threads start to pay: the draw with two against one.
static void CompareThreads(const Level &level, int viewMode) {
    Load(level);
    std::vector<RasterSegment> batch;
    Compare(std::string("draw ") + level.name + " " + ViewName(viewMode) + " 2 threads / 1 thread", "-",
            [&] { ProgramDraw(viewMode, &batch, 2); }, [&] { ProgramDraw(viewMode, &batch, 1); });
    FreeMapData();
}

// The same for the raster alone on the first `count` segments of a level,
// the sizes around the threshold.
static void CompareThreadsAt(const Level &level, int viewMode, size_t count) {
    Load(level);
    ViewFrame frame;
    BeginViewFrame(viewMode, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    std::vector<RasterSegment> batch;
    size_t n = std::min(count, ProgramRasterSegments(viewMode, &batch));
    Compare(std::string("raster ") + level.name + " first " + std::to_string(n / 1000) + "k 2 threads / 1",
            "-", [&] { ProgramRaster(frame, batch, n, 2); }, [&] { ProgramRaster(frame, batch, n, 1); });
    FreeMapData();
}

// ---- The canvas into an image ----------------------------------------------------------------

// The floor of CopyCanvasToImage: the same colour rule, every bound and
// pointer in a local.
static void CopyWithLocals(const RasterCanvas *canvas, cairo_surface_t *image) {
    cairo_surface_flush(image);
    uint8_t *data = cairo_image_surface_get_data(image);
    const size_t stride = size_t(cairo_image_surface_get_stride(image));
    const int32_t width = canvas->width, height = canvas->height;
    const uint8_t *pixels = canvas->pixels;
    for (int32_t y = 0; y < height; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(data + size_t(y) * stride);
        const uint8_t *source = pixels + size_t(y) * size_t(width);
        for (int32_t x = 0; x < width; x++) row[x] = (uint32_t(source[x]) - 1u) & 0xFFFFFFu;
    }
    cairo_surface_mark_dirty(image);
}

static void CompareCopy(void) {
    Load(TOWN);
    ViewFrame frame;
    BeginViewFrame(IDM_VIEW_3DZ, CANVAS_WIDTH, CANVAS_HEIGHT, &frame);
    std::vector<RasterSegment> batch;
    ProgramRaster(frame, batch, ProgramRasterSegments(IDM_VIEW_3DZ, &batch), 1);
    RasterCanvas canvas;
    RasterInit(&canvas, canvasPixels.data(), CANVAS_WIDTH, CANVAS_HEIGHT);
    cairo_surface_t *image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, CANVAS_WIDTH, CANVAS_HEIGHT);
    Compare("canvas copy 1920x1080 / loop with locals", "1.2", [&] { CopyCanvasToImage(&canvas, image); },
            [&] { CopyWithLocals(&canvas, image); });
    cairo_surface_destroy(image);
    FreeMapData();
}

// ---- Whole processes -----------------------------------------------------------------------------

// Runs the program to its end.
static void RunProcess(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvitan_ratios: %s %s failed\n", args[0].c_str(), args[1].c_str());
        std::exit(1);
    }
}

// The peak memory of a program's run, in KiB, as GNU time reports it. A
// child's own getrusage would count the memory of this process, which it
// shares until it runs the program; time is small.
static double PeakMemory(const std::vector<std::string> &args, const std::string &outDir) {
    std::string report = outDir + "/korvitan_ratios_peak.txt";
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
    timed.insert(timed.end(), args.begin(), args.end());
    RunProcess(timed);
    FILE *f = std::fopen(report.c_str(), "r");
    double kib = 0;
    if (!f || std::fscanf(f, "%lf", &kib) != 1) {
        std::fprintf(stderr, "korvitan_ratios: no peak memory from /usr/bin/time\n");
        std::exit(1);
    }
    std::fclose(f);
    unlink(report.c_str());
    return kib;
}

static void CompareRender(const std::string &cli, const Level &level, const std::string &outDir) {
    std::string path = PathOf(level);
    std::string out = outDir + "/korvitan_ratios_render.png";
    Compare(std::string("render PNG ") + level.name + " 3dz 1920x1080 / info", "3",
            [&] { RunProcess({cli, "render", path, "--view", "3dz", "--size", "1920x1080", "-o", out}); },
            [&] { RunProcess({cli, "info", path}); });
    unlink(out.c_str());
}

// A vector picture against the PNG of the same view and size, with the
// peak memory of the process that writes the vector picture.
static void CompareVector(const std::string &cli, const Level &level, const char *extension,
                          const char *target, const std::string &outDir) {
    std::string path = PathOf(level);
    std::string png = outDir + "/korvitan_ratios_render.png";
    std::string vector = outDir + "/korvitan_ratios_render." + extension;
    std::string name = std::string(extension) + " " + level.name + " 3dz 1920x1080 / PNG";
    if (!Wanted(name)) return;
    std::vector<std::string> writeVector = {cli, "render", path, "--view", "3dz", "--size", "1920x1080", "-o",
                                            vector};
    std::vector<double> paths, floors, peaks;
    for (int r = 0; r < repetitions; r++) {
        paths.push_back(TimePerCall([&] { RunProcess(writeVector); }));
        floors.push_back(TimePerCall(
            [&] { RunProcess({cli, "render", path, "--view", "3dz", "--size", "1920x1080", "-o", png}); }));
        peaks.push_back(PeakMemory(writeVector, outDir));
    }
    PrintRow(name, paths, floors, target);
    std::printf("%-46s %7.0f %7.0f %8s\n", (std::string("  peak memory of the ") + extension + ", MB").c_str(),
                *std::min_element(peaks.begin(), peaks.end()) * 1024 / 1e6, Median(peaks) * 1024 / 1e6, "200");
    unlink(png.c_str());
    unlink(vector.c_str());
}

// ---- Batch ---------------------------------------------------------------------------------

enum { BATCH_LEVELS = 100 };

static void CompareBatch(const std::string &cli, const std::string &outDir) {
    std::string folder = levelDir + "/batch", out = outDir + "/korvitan_ratios_batch";
    std::vector<std::string> levels;
    for (int i = 0; i < BATCH_LEVELS; i++) {
        char name[32];
        std::snprintf(name, sizeof name, "/level_%03d.bsp", i);
        levels.push_back(folder + name);
    }
    std::string picture = outDir + "/korvitan_ratios_batch.png";
    Compare("batch 100 town 3dz 800x600 / 100 renders", "0.6",
            [&] { RunProcess({cli, "batch", "-o", out, folder}); },
            [&] {
                for (const std::string &level : levels)
                    RunProcess({cli, "render", level, "--view", "3dz", "--size", "800x600", "-o", picture});
            });
    RunProcess({"/bin/rm", "-rf", out, picture});
}

// ---- Archives ---------------------------------------------------------------------------------

static void CompareArchives(const std::string &cli, const std::string &outDir) {
    std::string big = levelDir + "/list-500m.zip", small = levelDir + "/list-5m.zip";
    std::string pk3 = levelDir + "/level.pk3", entry = "maps/grid_64k_1m.bsp";
    // Listing: seconds per run of `korvitan-cli maps`, as a user waits for it.
    std::vector<double> times;
    for (int r = 0; r < repetitions; r++)
        times.push_back(TimePerCall([&] { RunProcess({cli, "maps", big}); }, 0.3));
    std::printf("%-46s %7.3f %7.3f %8s   seconds\n", "list zip 10k entries 500 MB (s, not a ratio)",
                *std::min_element(times.begin(), times.end()), Median(times), "0.2");
    std::vector<double> bigPeaks, smallPeaks;
    for (int r = 0; r < repetitions; r++) {
        bigPeaks.push_back(PeakMemory({cli, "maps", big}, outDir));
        smallPeaks.push_back(PeakMemory({cli, "maps", small}, outDir));
    }
    std::printf("%-46s %7.2f %7.2f %8s   %.0f KiB vs %.0f KiB\n", "list zip 10k peak memory 500 MB / 5 MB",
                *std::min_element(bigPeaks.begin(), bigPeaks.end()) /
                    *std::min_element(smallPeaks.begin(), smallPeaks.end()),
                Median(bigPeaks) / Median(smallPeaks), "1.1", Median(bigPeaks), Median(smallPeaks));
    std::fflush(stdout);
    Compare("read level from zip 64k/1M / unzip -p", "1.5",
            [&] { RunProcess({cli, "info", pk3, "--map", entry}); },
            [&] { RunProcess({"/usr/bin/unzip", "-p", pk3, entry}); });
}

int main(int argc, char **argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: korvitan_ratios LEVEL_DIR CLI [REPETITIONS [FILTER]]\n");
        return 2;
    }
    levelDir = argv[1];
    if (argc >= 4) repetitions = std::max(1, std::atoi(argv[3]));
    if (argc == 5) filter = argv[4];
    ResetRecording();
    recording.recordCalls = false;
    // The picture goes to memory (tmpfs), so the flush that makes it durable
    // costs nothing and the ratio is about the program's own work.
    const char *outDir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";

    for (const Level &level : {TOWN, GRID_60K, GRID_1M}) CompareLoad(level);
    CompareLoad(TOWN_SURFACES, "3");
    for (const Level &level : {TOWN, GRID_60K, GRID_1M})
        for (int view : {IDM_VIEW_XY, IDM_VIEW_3DZ}) CompareSegments(level, view);
    for (const Level &level : {TOWN, GRID_1M})
        for (int view : {IDM_VIEW_XY, IDM_VIEW_3DZ}) CompareRaster(level, view);
    CompareDraw(GRID_1M, IDM_VIEW_3DZ);
    CompareDraw(GRID_1M, IDM_VIEW_XY);
    for (const Level &level : {TOWN, GRID_60K}) CompareThreads(level, IDM_VIEW_3DZ);
    for (size_t count : {5000, 10000, 20000, 40000}) CompareThreadsAt(GRID_1M, IDM_VIEW_3DZ, count);
    CompareCopy();
    CompareRender(argv[2], TOWN, outDir);
    CompareVector(argv[2], GRID_1M, "svg", "10", outDir);
    CompareVector(argv[2], GRID_1M, "pdf", "-", outDir);
    if (Wanted("batch")) CompareBatch(argv[2], outDir);
    if (Wanted("zip")) CompareArchives(argv[2], outDir);
    FreeMapData();
    return 0;
}
