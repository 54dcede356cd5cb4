// fuzz_support.cpp - see fuzz_support.h.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "map/model.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"
#include "view/views.h"
#include "view/visible.h"

void FuzzFail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "\n%s:%d: broken promise: %s\n", file, line, what);
    std::abort();
}

void FuzzReset(void) {
    ResetRecording();
    recording.recordCalls = false;
}

// ---- The input as a real file -------------------------------------------------

namespace {

std::string inputPath;
int inputFd = -1;

void RemoveInputFile() {
    if (!inputPath.empty()) unlink(inputPath.c_str());
}

// One file per process, so parallel fuzzing jobs never share one.
void OpenInputFile() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvitan-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    inputFd = mkstemp(buffer.data());
    FUZZ_CHECK(inputFd >= 0);
    inputPath = buffer.data();
    std::atexit(RemoveInputFile);
}

int descriptorsBefore = -1;

}  // namespace

void FuzzChooseInput(const uint8_t *data, size_t size) {
    if (inputFd < 0) OpenInputFile();
    FUZZ_CHECK(ftruncate(inputFd, 0) == 0);
    size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite(inputFd, data + written, size - written, off_t(written));
        FUZZ_CHECK(n > 0);
        written += size_t(n);
    }
    std::snprintf(fileName, sizeof fileName, "%s", inputPath.c_str());
    descriptorsBefore = OpenDescriptorCount();
}

// ---- Checks around a load ------------------------------------------------------

void FuzzCheckLoadAndRelease(int32_t loaded, size_t fileSize, int tablesRead) {
    FuzzCheckLoadAndReleaseWithin(loaded, fileSize, uint64_t(tablesRead) * fileSize);
}

void FuzzCheckLoadAndReleaseWithin(int32_t loaded, uint64_t largest, uint64_t total) {
    FUZZ_CHECK(loaded == 0 || loaded == 1);
    FUZZ_CHECK(recording.messages.size() <= 1);
    // The recording backend painted the view behind the message; the model
    // it found there held no count without its table.
    for (const RecordedMessage &m : recording.messages) FUZZ_CHECK(m.modelWhole && m.linesBehind == 0);
    FUZZ_CHECK(recording.largestRequest <= largest);
    FUZZ_CHECK(recording.bytesAllocated <= total);
    FUZZ_CHECK(MapData.file == nullptr);
    if (loaded) {
        FUZZ_CHECK(recording.messages.empty());
        FUZZ_CHECK(MapData.vertexCount == 0 || MapData.vertices != nullptr);
        FUZZ_CHECK(MapData.edgeCount == 0 || MapData.edges != nullptr);
        FUZZ_CHECK(MapData.edgeIndexSize == 2 || MapData.edgeIndexSize == 4);
    } else {
        FUZZ_CHECK(MapData.vertices == nullptr && MapData.edges == nullptr);
        FUZZ_CHECK(MapData.vertexCount == 0 && MapData.edgeCount == 0);
    }
    FreeMapData();
    FUZZ_CHECK(recording.liveBlocks == 0);
    FUZZ_CHECK(OpenDescriptorCount() == descriptorsBefore);
}

// ---- The views -------------------------------------------------------------------

namespace {

struct ClientSize {
    int32_t right, bottom;
};

// The sizes a window can have, from none to a few pixels, and one drawn
// nowhere near its canvas: a 16x16 canvas whose viewport is the largest a
// host could report, which drives the clipper with 62-bit device points.
const ClientSize CLIENT_SIZES[] = {{64, 48}, {7, 3}, {1, 1}, {0, 0}, {64, 0}, {0, 48}};
const ClientSize HUGE_VIEWPORT = {INT32_MAX, INT32_MAX};
const int32_t HUGE_CANVAS_SIDE = 16;

bool Mappable(const RasterCanvas &c) {
    return c.windowWidth != 0 && c.windowHeight != 0 && c.viewportWidth != 0 && c.viewportHeight != 0;
}

void DrawSegment(RasterCanvas *canvas, const ViewSegment &s) {
    RasterMoveTo(canvas, s.start.x, s.start.y);
    RasterLineTo(canvas, s.end.x, s.end.y);
    if (!Mappable(*canvas)) return;
    int64_t x0 = RasterMapCoordinate(s.start.x, canvas->viewportWidth, canvas->windowWidth);
    int64_t y0 = RasterMapCoordinate(s.start.y, canvas->viewportHeight, canvas->windowHeight);
    int64_t x1 = RasterMapCoordinate(s.end.x, canvas->viewportWidth, canvas->windowWidth);
    int64_t y1 = RasterMapCoordinate(s.end.y, canvas->viewportHeight, canvas->windowHeight);
    bool startOnCanvas = x0 >= 0 && x0 < canvas->width && y0 >= 0 && y0 < canvas->height;
    if (startOnCanvas && (x0 != x1 || y0 != y1))
        FUZZ_CHECK(canvas->pixels[y0 * canvas->width + x0] == RASTER_BLACK);
}

// Rasterizes one view into a canvas of width x height pixels whose viewport
// is viewport; the pixel block is exactly the canvas, so AddressSanitizer
// sees any store outside it.
void RasterizeView(int viewMode, int32_t width, int32_t height, ClientSize viewport) {
    ViewFrame frame;
    FUZZ_CHECK(BeginViewFrame(viewMode, viewport.right, viewport.bottom, &frame));
    std::vector<uint8_t> pixels(size_t(width) * size_t(height));
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), width, height);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, frame.viewportWidth, frame.viewportHeight);
    RasterSetWindowExt(&canvas, frame.windowWidth, frame.windowHeight);
    // Each segment projected on the spot must be the one of the projected
    // table, and the whole batch drawn by two threads must light the same
    // pixels as the segments drawn one by one.
    const ViewPoint *points = ProjectVertices(&frame);
    std::vector<RasterSegment> batch;
    ViewSegment segment, fromTable;
    for (int32_t i = 0; i < MapData.edgeCount; i++) {
        int drawn = ViewSegmentAt(&frame, i, &segment);
        if (points) {
            FUZZ_CHECK(ViewSegmentFrom(points, i, &fromTable) == drawn);
            FUZZ_CHECK(!drawn || std::memcmp(&fromTable, &segment, sizeof segment) == 0);
        }
        if (!drawn) continue;
        DrawSegment(&canvas, segment);
        batch.push_back({segment.start.x, segment.start.y, segment.end.x, segment.end.y});
    }
    if (!Mappable(canvas))
        for (uint8_t p : pixels) FUZZ_CHECK(p == RASTER_WHITE);
    std::vector<uint8_t> batchPixels(pixels.size());
    RasterCanvas batchCanvas;
    RasterInit(&batchCanvas, batchPixels.data(), width, height);
    RasterClear(&batchCanvas);
    RasterSetViewportExt(&batchCanvas, frame.viewportWidth, frame.viewportHeight);
    RasterSetWindowExt(&batchCanvas, frame.windowWidth, frame.windowHeight);
    RasterDrawSegmentsThreads(&batchCanvas, batch.data(), batch.size(), 2);
    FUZZ_CHECK(batchPixels == pixels);
}

// Draws segments into a fresh canvas of the client size, showing `part`.
std::vector<uint8_t> DrawPart(const ViewFrame &frame, const ViewRect &part, const RasterSegment *segments,
                              size_t count) {
    std::vector<uint8_t> pixels(size_t(frame.viewportWidth) * size_t(frame.viewportHeight));
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), frame.viewportWidth, frame.viewportHeight);
    RasterClear(&canvas);
    RasterSetViewportExt(&canvas, frame.viewportWidth, frame.viewportHeight);
    RasterSetWindowExt(&canvas, part.width, part.height);
    RasterSetWindowOrg(&canvas, part.x, part.y);
    RasterDrawSegmentsThreads(&canvas, segments, count, 1);
    return pixels;
}

// Zoomed parts of the view (a half in the middle, the deepest zoom in the
// middle and two corners) drawn with the segments the index gives light
// exactly the pixels of every segment drawn.
void CheckCulling(int viewMode, ClientSize size) {
    ViewFrame frame;
    FUZZ_CHECK(BeginViewFrame(viewMode, size.right, size.bottom, &frame));
    int32_t W = frame.windowWidth, H = frame.windowHeight;
    if (W < 1 || H < 1 || size.right <= 0 || size.bottom <= 0) return;
    const ViewPoint *points = ProjectVertices(&frame);
    if (!points) return;
    std::vector<RasterSegment> every;
    ViewSegment s;
    for (int32_t i = 0; i < MapData.edgeCount; i++)
        if (ViewSegmentFrom(points, i, &s)) every.push_back({s.start.x, s.start.y, s.end.x, s.end.y});
    int32_t lw = W / 1024 + (W % 1024 != 0), lh = H / 1024 + (H % 1024 != 0);
    const ViewRect parts[] = {{W / 4, H / 4, W / 2, H / 2},
                              {W / 2 - lw / 2, H / 2 - lh / 2, lw, lh},
                              {0, H - lh, lw, lh},
                              {W - lw, 0, lw, lh}};
    for (ViewRect part : parts) {
        part = ClampViewRect(part, W, H);
        const ViewSegment *visible = nullptr;
        size_t count = 0;
        FUZZ_CHECK(VisibleSegments(&frame, viewMode, &part, &visible, &count));
        FUZZ_CHECK(count <= every.size());
        std::vector<RasterSegment> culled;
        for (size_t k = 0; k < count; k++)
            culled.push_back({visible[k].start.x, visible[k].start.y, visible[k].end.x, visible[k].end.y});
        FUZZ_CHECK(DrawPart(frame, part, culled.data(), culled.size()) ==
                   DrawPart(frame, part, every.data(), every.size()));
    }
}

}  // namespace

void FuzzExerciseViews(void) {
    for (int view = IDM_VIEW_XY; view <= IDM_VIEW_3DZ; view++) {
        for (const ClientSize &size : CLIENT_SIZES) {
            RasterizeView(view, size.right, size.bottom, size);
            recording.clientRight = size.right;
            recording.clientBottom = size.bottom;
            DrawView(RecordingWindow(), RecordingDC(), view);
            CheckCulling(view, size);
        }
        RasterizeView(view, HUGE_CANVAS_SIDE, HUGE_CANVAS_SIDE, HUGE_VIEWPORT);
    }
}
