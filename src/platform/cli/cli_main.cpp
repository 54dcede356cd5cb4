// cli_main.cpp - korvitan-cli: inspect, check and render levels without a
// screen, over the same engine as the desktop programs.
//
//   korvitan-cli maps FILE.pak
//   korvitan-cli info FILE [--map NAME]
//   korvitan-cli geometry FILE [--map NAME] --view V [--size WxH]
//   korvitan-cli render FILE [--map NAME] --view V [--size WxH] -o OUT
//
// A file is read as an archive when its name ends in ".pak" (any case) or a
// map is named; --pak and --bsp say it outright. A load failure prints the
// message the window would show and exits 1; bad usage exits 2.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/model.h"
#include "platform/canvas_image.h"
#include "platform/cli/cli_backend.h"
#include "platform/raster/raster.h"
#include "res/resource.h"
#include "view/views.h"

static const char kUsage[] =
    "usage: korvitan-cli maps FILE.pak\n"
    "       korvitan-cli info FILE [--map NAME]\n"
    "       korvitan-cli geometry FILE [--map NAME] --view V [--size WxH]\n"
    "       korvitan-cli render FILE [--map NAME] --view V [--size WxH] -o OUT\n"
    "V is one of xy xz yz 3dx 3dy 3dz; the size defaults to 800x600.\n"
    "OUT ends in .png, .svg or .pdf. FILE is read as an archive when it ends in\n"
    ".pak or --map is given; --pak or --bsp says which it is.\n";

enum { MAX_PICTURE_SIDE = 16384 };

struct CliArgs {
    const char *command;
    const char *file;
    const char *mapName;
    const char *view;
    const char *size;
    const char *out;
    int forceArchive;  // 1 archive, 0 level, -1 by name
};

static int Usage(const char *problem) {
    if (problem) std::fprintf(stderr, "korvitan-cli: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

static int EndsWithNoCase(const char *text, const char *suffix) {
    size_t n = std::strlen(text), k = std::strlen(suffix);
    return n >= k && strcasecmp(text + n - k, suffix) == 0;
}

static int ViewModeByName(const char *name) {
    static const char *const names[] = {"xy", "xz", "yz", "3dx", "3dy", "3dz"};
    for (int i = 0; i < 6; i++)
        if (std::strcmp(name, names[i]) == 0) return IDM_VIEW_XY + i;
    return 0;
}

static int ParseSize(const char *text, int32_t *width, int32_t *height) {
    char *end = nullptr;
    long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return 0;
    const char *rest = end + 1;
    long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return 0;
    if (w < 0 || h < 0 || w > MAX_PICTURE_SIDE || h > MAX_PICTURE_SIDE) return 0;
    *width = int32_t(w);
    *height = int32_t(h);
    return 1;
}

static int ParseArgs(int argc, char **argv, CliArgs *args) {
    *args = CliArgs{nullptr, nullptr, nullptr, nullptr, "800x600", nullptr, -1};
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char **value = nullptr;
        if (std::strcmp(a, "--map") == 0) value = &args->mapName;
        else if (std::strcmp(a, "--view") == 0) value = &args->view;
        else if (std::strcmp(a, "--size") == 0) value = &args->size;
        else if (std::strcmp(a, "-o") == 0) value = &args->out;
        else if (std::strcmp(a, "--pak") == 0) args->forceArchive = 1;
        else if (std::strcmp(a, "--bsp") == 0) args->forceArchive = 0;
        else if (a[0] == '-' && a[1] != '\0') return 0;
        else if (!args->command) args->command = a;
        else if (!args->file) args->file = a;
        else return 0;
        if (value) {
            if (i + 1 >= argc) return 0;
            *value = argv[++i];
        }
    }
    return args->command && args->file;
}

// Loads the level the arguments name. Returns 1 when a level is loaded;
// otherwise the reason has been printed.
static int LoadFromArgs(const CliArgs *args, int archive) {
    if (std::strlen(args->file) >= FILE_NAME_SIZE) {
        std::fprintf(stderr, "korvitan-cli: path too long: %s\n", args->file);
        return 0;
    }
    std::strcpy(fileName, args->file);
    cliState.messages = 0;
    if (!archive) return LoadBspFile(CliWindow());

    cliState.mapAnswer = args->mapName ? CLI_MAP_NAMED : CLI_MAP_FIRST;
    cliState.mapName = args->mapName;
    if (LoadPakFile(CliWindow())) return 1;
    if (cliState.messages) return 0;
    if (cliState.offeredRows == 0)
        std::fprintf(stderr, "korvitan-cli: %s: no map under \"maps/\"\n", args->file);
    else
        std::fprintf(stderr, "korvitan-cli: %s: no map named \"%s\" (see: korvitan-cli maps %s)\n",
                     args->file, args->mapName ? args->mapName : "", args->file);
    return 0;
}

static int CommandMaps(const CliArgs *args) {
    if (std::strlen(args->file) >= FILE_NAME_SIZE) return Usage("path too long");
    std::strcpy(fileName, args->file);
    cliState.mapAnswer = CLI_MAP_PRINT_ROWS;
    cliState.messages = 0;
    LoadPakFile(CliWindow());
    if (std::fflush(stdout) != 0) return 1;
    return cliState.messages ? 1 : 0;
}

static int CommandInfo(void) {
    const MapBoundsRecord &b = MapBounds;
    std::printf("version %d\nvertices %d\nedges %d\n", int(LastLevelVersion()),
                int(MapData.vertexCount), int(MapData.edgeCount));
    std::printf("bounds %.9g %.9g %.9g %.9g %.9g %.9g\n", double(b.minX), double(b.maxX),
                double(b.minY), double(b.maxY), double(b.minZ), double(b.maxZ));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

static int CommandGeometry(int viewMode) {
    PlatDC *dc = CliGeometryDC(stdout);
    // The two header lines come before the segments, so the frame is
    // computed once up front for them; the paint computes it again.
    ViewFrame frame;
    BeginViewFrame(viewMode, cliState.clientRight, cliState.clientBottom, &frame);
    std::printf("extent %d %d\nviewport %d %d\n", int(frame.windowWidth), int(frame.windowHeight),
                int(frame.viewportWidth), int(frame.viewportHeight));
    DrawView(CliWindow(), dc, viewMode);
    return CliFlushGeometry(dc) ? 0 : 1;
}

static int WritePng(int viewMode, const char *out) {
    int32_t w = cliState.clientRight, h = cliState.clientBottom;
    std::vector<uint8_t> pixels(size_t(w) * size_t(h));
    RasterCanvas canvas;
    RasterInit(&canvas, pixels.data(), w, h);
    RasterClear(&canvas);
    DrawView(CliWindow(), CliRasterDC(&canvas), viewMode);

    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    CopyCanvasToImage(&canvas, surface);
    cairo_status_t status = cairo_surface_write_to_png(surface, out);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

static int WriteVector(int viewMode, const char *out, int pdf) {
    int32_t w = cliState.clientRight, h = cliState.clientBottom;
    cairo_surface_t *surface = pdf ? cairo_pdf_surface_create(out, w, h)
                                   : cairo_svg_surface_create(out, w, h);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    DrawView(CliWindow(), CliVectorDC(cr), viewMode);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

static int CommandRender(int viewMode, const char *out) {
    int ok;
    if (EndsWithNoCase(out, ".png")) ok = WritePng(viewMode, out);
    else if (EndsWithNoCase(out, ".svg")) ok = WriteVector(viewMode, out, 0);
    else ok = WriteVector(viewMode, out, 1);
    if (!ok) std::fprintf(stderr, "korvitan-cli: cannot write %s\n", out);
    return ok ? 0 : 1;
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    CliArgs args;
    if (!ParseArgs(argc, argv, &args)) return Usage(nullptr);
    const char *command = args.command;
    int drawing = std::strcmp(command, "geometry") == 0 || std::strcmp(command, "render") == 0;
    if (std::strcmp(command, "maps") != 0 && std::strcmp(command, "info") != 0 && !drawing)
        return Usage("unknown command");

    int viewMode = 0;
    if (drawing) {
        if (!args.view) return Usage("--view is required");
        viewMode = ViewModeByName(args.view);
        if (!viewMode) return Usage("unknown view");
        if (!ParseSize(args.size, &cliState.clientRight, &cliState.clientBottom))
            return Usage("bad --size");
    }
    if (std::strcmp(command, "render") == 0) {
        if (!args.out) return Usage("-o OUT is required");
        if (!EndsWithNoCase(args.out, ".png") && !EndsWithNoCase(args.out, ".svg") &&
            !EndsWithNoCase(args.out, ".pdf"))
            return Usage("OUT must end in .png, .svg or .pdf");
        if (cliState.clientRight == 0 || cliState.clientBottom == 0)
            return Usage("a picture needs at least 1x1 pixels");
    }
    if (std::strcmp(command, "maps") == 0) return CommandMaps(&args);

    int archive = args.forceArchive >= 0 ? args.forceArchive
                                         : (args.mapName != nullptr || EndsWithNoCase(args.file, ".pak"));
    int status;
    if (!LoadFromArgs(&args, archive)) status = 1;
    else if (std::strcmp(command, "info") == 0) status = CommandInfo();
    else if (std::strcmp(command, "geometry") == 0) status = CommandGeometry(viewMode);
    else status = CommandRender(viewMode, args.out);
    FreeMapData();
    return status;
}
