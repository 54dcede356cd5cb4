// cli_main.cpp - korvitan-cli: inspect, check and render levels without a
// screen, over the same engine as the desktop programs.
//
//   korvitan-cli maps ARCHIVE
//   korvitan-cli info FILE [--map ROW]
//   korvitan-cli geometry FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]
//   korvitan-cli render FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]
//                [--format png|svg|pdf] [--leak FILE] [--portals FILE] -o OUT
//   korvitan-cli thumbnail [-s N] FILE OUT
//   korvitan-cli --version | --help
//
// A file is read as an archive (PAK, ZIP, PK3, PK4, 7z, RAR) when its name
// ends like one (any case) or a map is named; --pak and --bsp say it
// outright (thumbnail also knows an archive by its first bytes). A load
// failure prints the message the window would show and exits 1, as does a
// picture that cannot be written; bad usage exits 2.
//
// Where the picture goes depends on what OUT is (cli_output.h): a new or
// plain file gets the whole picture or nothing, a link to a plain file
// writes that file, anything else (a pipe, a device, a socket) is written
// straight into; "-" is standard output, refused when it is a terminal.
// The picture's format is --format's, else OUT's ending, else (for "-") PNG.
//
// render --leak and --portals draw a leak trace (red) and portals (blue)
// over the level, as the Linux program does; a PNG then holds a palette of
// white, black, red and blue. A broken overlay file is said on stderr and
// the picture drawn with what it held up to the broken line; one that
// cannot be read is a failure.
//
// thumbnail is render's PNG of the 3D (Z) view at a size fitted into N x N,
// for file managers: its command line is the one a thumbnailer entry runs.
// A file manager may create OUT itself and read the picture back through
// its own open descriptor, so an OUT that exists is written in place.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "archive/archive_layer.h"
#include "map/archive_kind.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "map/overlay.h"
#include "cli/cli_backend.h"
#include "cli/cli_output.h"
#include "cli/cli_png.h"
#include "raster/raster.h"
#include "res/resource.h"
#include "view/views.h"

static const char USAGE_TEXT[] =
    "usage: korvitan-cli maps ARCHIVE\n"
    "       korvitan-cli info FILE [--map ROW]\n"
    "       korvitan-cli geometry FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]\n"
    "       korvitan-cli render FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]\n"
    "                    [--format png|svg|pdf] [--leak FILE] [--portals FILE] -o OUT\n"
    "       korvitan-cli thumbnail [-s N] FILE OUT\n"
    "       korvitan-cli --version\n"
    "V is one of xy xz yz 3dx 3dy 3dz; the size defaults to 800x600. --window\n"
    "draws the part of the view with origin OX,OY and extent EW,EH (default: all).\n"
    "The picture is a PNG, SVG or PDF file by --format, else by OUT's ending\n"
    "(.png, .svg or .pdf). OUT - is standard output (PNG unless --format says\n"
    "otherwise), never a terminal. FILE is read as an archive when it ends in\n"
    ".pak .pk3 .pk4 .zip .7z or .rar, or --map is given; --pak or --bsp says which\n"
    "it is. ROW is a row as maps prints it. --leak draws a leak trace (.pts, .lin)\n"
    "in red and --portals a portal file (.prt) in blue over the level.\n"
    "thumbnail writes the 3D (Z) view as a PNG whose longer side is N pixels\n"
    "(1 to 4096, default 256), the other side in the view's proportions.\n";

enum { MAX_PICTURE_SIDE = 16384, DEFAULT_THUMBNAIL_SIDE = 256, MAX_THUMBNAIL_SIDE = 4096 };

struct CliArgs {
    const char *command;
    const char *file;
    const char *mapName;
    const char *view;
    const char *size;  // null: 800x600
    const char *out;
    const char *thumbnailSide;  // -s N, or null
    const char *target;         // a second name after FILE (thumbnail's OUT)
    int forceArchive;  // 1 archive, 0 level, -1 by name
    const char *window;
    const char *format;  // --format, or null
    const char *overlayFiles[OVERLAY_KINDS];  // --leak, --portals, or null
};

// The part of the view --window names; null draws the full view.
static ViewRect windowRect;
static const ViewRect *shownRect;

static int Usage(const char *problem) {
    if (problem) std::fprintf(stderr, "korvitan-cli: %s\n", problem);
    std::fputs(USAGE_TEXT, stderr);
    return 2;
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

// N of -s: decimal digits only, 1 to MAX_THUMBNAIL_SIDE.
static int ParseThumbnailSide(const char *text, int32_t *side) {
    int32_t n = 0;
    for (const char *p = text; *p; p++) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + (*p - '0');
        if (n > MAX_THUMBNAIL_SIDE) return 0;
    }
    if (!*text || n < 1) return 0;
    *side = n;
    return 1;
}

// "OX,OY,EW,EH": four whole numbers within 32 bits.
static int ParseWindow(const char *text, ViewRect *rect) {
    long long v[4];
    const char *p = text;
    for (int i = 0; i < 4; i++) {
        char *end = nullptr;
        errno = 0;
        v[i] = std::strtoll(p, &end, 10);
        if (end == p || errno || v[i] < INT32_MIN || v[i] > INT32_MAX) return 0;
        if (*end != (i < 3 ? ',' : '\0')) return 0;
        p = end + 1;
    }
    *rect = ViewRect{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
    return 1;
}

static int ParseArgs(int argc, char **argv, CliArgs *args) {
    *args = CliArgs{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, -1, nullptr, nullptr,
                    {nullptr, nullptr}};
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char **value = nullptr;
        if (std::strcmp(a, "--map") == 0) value = &args->mapName;
        else if (std::strcmp(a, "--view") == 0) value = &args->view;
        else if (std::strcmp(a, "--size") == 0) value = &args->size;
        else if (std::strcmp(a, "-o") == 0) value = &args->out;
        else if (std::strcmp(a, "-s") == 0) value = &args->thumbnailSide;
        else if (std::strcmp(a, "--window") == 0) value = &args->window;
        else if (std::strcmp(a, "--format") == 0) value = &args->format;
        else if (std::strcmp(a, "--leak") == 0) value = &args->overlayFiles[OVERLAY_LEAK];
        else if (std::strcmp(a, "--portals") == 0) value = &args->overlayFiles[OVERLAY_PORTALS];
        else if (std::strcmp(a, "--pak") == 0) args->forceArchive = 1;
        else if (std::strcmp(a, "--bsp") == 0) args->forceArchive = 0;
        else if (a[0] == '-' && a[1] != '\0') return 0;
        else if (!args->command) args->command = a;
        else if (!args->file) args->file = a;
        else if (!args->target) args->target = a;
        else return 0;
        if (value) {
            if (i + 1 >= argc) return 0;
            *value = argv[++i];
        }
    }
    return args->command && args->file;
}

// Puts the file into fileName, as the open-file choice would. A path longer
// than any the host can open is refused with its message.
static int ChooseFile(const char *path) {
    if (std::strlen(path) >= FILE_NAME_SIZE) {
        std::fprintf(stderr, "korvitan-cli: path too long: %s\n", path);
        return 0;
    }
    std::strcpy(fileName, path);
    return 1;
}

// Loads the level the arguments name. Returns 1 when a level is loaded;
// otherwise the reason has been printed: by the loader's own message, or
// here when an archive offered no map the arguments choose.
static int LoadFromArgs(const CliArgs *args, int archive) {
    if (!ChooseFile(args->file)) return 0;
    if (archive) {
        cliState.mapAnswer = args->mapName ? CLI_MAP_NAMED : CLI_MAP_FIRST;
        cliState.mapName = args->mapName;
        LoadArchiveFile(CliWindow());
    } else {
        LoadBspFile(CliWindow());
    }
    LoadResult result = LastLoadResult();
    if (result.status != LOAD_NO_MAP) return result.status == LOAD_LOADED;
    if (cliState.offeredRows.empty())
        std::fprintf(stderr, "korvitan-cli: %s: the archive lists no map\n", args->file);
    else
        std::fprintf(stderr, "korvitan-cli: %s: no map named \"%s\" (see: korvitan-cli maps %s)\n",
                     args->file, args->mapName ? args->mapName : "", args->file);
    return 0;
}

// The archive's map list, answered with Cancel: the rows it offered.
static int CommandMaps(const CliArgs *args) {
    if (!ChooseFile(args->file)) return 1;
    cliState.mapAnswer = CLI_MAP_CANCEL;
    LoadArchiveFile(CliWindow());
    if (LastLoadResult().status == LOAD_FAILED) return 1;
    for (const std::string &row : cliState.offeredRows) std::printf("%s\n", row.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

static int CommandInfo(void) {
    const MapBoundsRecord &b = MapBounds;
    std::printf("version %d\nformat %s\nvertices %d\nedges %d\n", int(LastLevelVersion()),
                LastLevelFormat(), int(MapData.vertexCount), int(MapData.edgeCount));
    std::printf("bounds %.9g %.9g %.9g %.9g %.9g %.9g\n", double(b.minX), double(b.maxX),
                double(b.minY), double(b.maxY), double(b.minZ), double(b.maxZ));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// A --window rectangle must lie inside the view's full extent W x H, which
// only the loaded level tells. Bad usage otherwise, naming the range.
static int WindowInsideView(int viewMode) {
    ViewFrame frame;
    BeginViewFrame(viewMode, cliState.clientRight, cliState.clientBottom, &frame);
    const ViewRect &r = windowRect;
    int64_t w = frame.windowWidth, h = frame.windowHeight;
    if (r.width >= 1 && r.height >= 1 && r.x >= 0 && r.y >= 0 && int64_t(r.x) + r.width <= w &&
        int64_t(r.y) + r.height <= h) {
        shownRect = &windowRect;
        return 1;
    }
    char problem[160];
    std::snprintf(problem, sizeof problem,
                  "--window must lie inside 0,0,%d,%d (this view's full extent), with EW and EH at least 1",
                  int(w), int(h));
    Usage(problem);
    return 0;
}

static int CommandGeometry(int viewMode) {
    PlatDC *dc = CliGeometryDC(stdout);
    // The two header lines come before the segments, so the frame is
    // computed once up front for them; the paint computes it again.
    ViewFrame frame;
    BeginViewFrame(viewMode, cliState.clientRight, cliState.clientBottom, &frame);
    if (shownRect) {
        std::printf("extent %d %d\norigin %d %d\n", int(shownRect->width), int(shownRect->height),
                    int(shownRect->x), int(shownRect->y));
    } else {
        std::printf("extent %d %d\n", int(frame.windowWidth), int(frame.windowHeight));
    }
    std::printf("viewport %d %d\n", int(frame.viewportWidth), int(frame.viewportHeight));
    DrawViewPart(CliWindow(), dc, viewMode, shownRect);
    return CliFlushGeometry(dc) ? 0 : 1;
}

// cairo's stream writers hand their bytes here.
static cairo_status_t WriteToOutput(void *closure, const unsigned char *data, unsigned int length) {
    return OutputWrite(static_cast<OutputFile *>(closure), data, length) ? CAIRO_STATUS_SUCCESS
                                                                          : CAIRO_STATUS_WRITE_ERROR;
}

// The canvas comes from calloc, white already: pages no line touches are
// never written, and reading them back costs next to nothing.
static_assert(RASTER_WHITE == 0, "a zeroed canvas is white");
static int WritePng(int viewMode, OutputFile *out) {
    int32_t w = cliState.clientRight, h = cliState.clientBottom;
    uint8_t *pixels = static_cast<uint8_t *>(std::calloc(size_t(w) * size_t(h), 1));
    if (!pixels) {
        out->error = ENOMEM;
        return 0;
    }
    RasterCanvas canvas;
    RasterInit(&canvas, pixels, w, h);
    CliPaintCanvas(&canvas, viewMode, shownRect);
    int ok = CliHasOverlays() ? WritePaletteCanvasPng(&canvas, out) : WriteCanvasPng(&canvas, out);
    std::free(pixels);
    return ok;
}

// The overlays the arguments name, read once the level is loaded. A
// broken file is said and drawn up to its broken line; one that cannot be
// read fails the command.
static Overlay overlays[OVERLAY_KINDS];

static int ReadOverlays(const CliArgs *args) {
    for (int k = 0; k < OVERLAY_KINDS; k++) {
        if (!args->overlayFiles[k]) continue;
        char message[FILE_NAME_SIZE + 128];
        OverlayRead read = ReadOverlayFile(OverlayKind(k), args->overlayFiles[k], &overlays[k], message, sizeof message);
        if (read != OVERLAY_WHOLE) std::fprintf(stderr, "korvitan-cli: %s\n", message);
        if (read == OVERLAY_ABSENT) return 0;
        cliState.overlays[k] = &overlays[k];
    }
    return 1;
}

static void FreeOverlays(void) {
    for (int k = 0; k < OVERLAY_KINDS; k++) {
        FreeOverlay(&overlays[k]);
        cliState.overlays[k] = nullptr;
    }
}

static int WriteVector(int viewMode, OutputFile *out, int pdf) {
    int32_t w = cliState.clientRight, h = cliState.clientBottom;
    cairo_surface_t *surface = pdf ? cairo_pdf_surface_create_for_stream(WriteToOutput, out, w, h)
                                   : cairo_svg_surface_create_for_stream(WriteToOutput, out, w, h);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    DrawViewPart(CliWindow(), CliVectorDC(cr), viewMode, shownRect);
    CliStrokeOverlays(cr, viewMode);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    return status == CAIRO_STATUS_SUCCESS;
}

enum PictureFormat { PICTURE_PNG, PICTURE_SVG, PICTURE_PDF, PICTURE_UNKNOWN };

// OUT "-" is standard output.
static int IsStandardOutput(const char *path) { return std::strcmp(path, "-") == 0; }

// Writes the picture where path says (see cli_output.h); existing says how
// a plain file that exists is written.
static int CommandRender(int viewMode, const char *path, PictureFormat format, OutputExisting existing) {
    OutputFile out;
    int ok = IsStandardOutput(path) ? OutputBeginStandard(&out) : OutputBegin(&out, path, existing);
    if (ok) {
        if (format == PICTURE_PNG) ok = WritePng(viewMode, &out);
        else ok = WriteVector(viewMode, &out, format == PICTURE_PDF);
        // A failure the encoder found before any write failed (out of
        // memory, say) still abandons the file.
        if (!ok && !out.error) out.error = EIO;
        ok = OutputCommit(&out);
    }
    if (!ok)
        std::fprintf(stderr, "korvitan-cli: cannot write %s: %s\n",
                     IsStandardOutput(path) ? "standard output" : path, std::strerror(out.error));
    return ok ? 0 : 1;
}

// The thumbnail's size: the 3D (Z) view's logical extent scaled so its
// longer side is side pixels, the shorter one rounded (halves up) and at
// least 1. An extent with a side of 0 draws nothing at any size (an empty
// level, a single point, a level seen edge-on), so it gets a blank
// side x side square rather than a sliver.
static void ThumbnailSize(int32_t side, int32_t *width, int32_t *height) {
    ViewFrame frame;
    BeginViewFrame(IDM_VIEW_3DZ, 0, 0, &frame);
    int64_t w = frame.windowWidth, h = frame.windowHeight;
    *width = *height = side;
    if (w <= 0 || h <= 0) return;
    int64_t longer = w > h ? w : h, shorter = w > h ? h : w;
    int64_t other = (2 * int64_t(side) * shorter + longer) / (2 * longer);
    if (other < 1) other = 1;
    if (w > h) *height = int32_t(other);
    else *width = int32_t(other);
}

// render --view 3dz at the thumbnail's size, always as a PNG: a file
// manager names the output as it likes. An OUT that exists is written in
// place: a file manager may have made it and read it back through its own
// descriptor, which would never see a new file renamed over the name.
static int CommandThumbnail(int32_t side, const char *path) {
    ThumbnailSize(side, &cliState.clientRight, &cliState.clientBottom);
    return CommandRender(IDM_VIEW_3DZ, path, PICTURE_PNG, OUTPUT_IN_PLACE);
}

static PictureFormat FormatByName(const char *name) {
    static const char *const NAMES[] = {"png", "svg", "pdf"};
    for (int i = 0; i < 3; i++)
        if (strcasecmp(name, NAMES[i]) == 0) return PictureFormat(i);
    return PICTURE_UNKNOWN;
}

// --format, else OUT's ending, else (for standard output) PNG.
static PictureFormat PictureFormatOf(const CliArgs *args) {
    if (args->format) return FormatByName(args->format);
    if (IsStandardOutput(args->out)) return PICTURE_PNG;
    const char *dot = std::strrchr(args->out, '.');
    return dot && !std::strchr(dot, '/') ? FormatByName(dot + 1) : PICTURE_UNKNOWN;
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE_TEXT, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvitan-cli %s\n", KORVITAN_VERSION);
            return 0;
        }
    }
    PrepareArchiveReading();
    CliArgs args;
    if (!ParseArgs(argc, argv, &args)) return Usage(nullptr);
    const char *command = args.command;
    int drawing = std::strcmp(command, "geometry") == 0 || std::strcmp(command, "render") == 0;
    int thumbnail = std::strcmp(command, "thumbnail") == 0;
    if (std::strcmp(command, "maps") != 0 && std::strcmp(command, "info") != 0 && !drawing && !thumbnail)
        return Usage("unknown command");
    if (!thumbnail && (args.target || args.thumbnailSide)) return Usage(nullptr);
    if (args.format && std::strcmp(command, "render") != 0) return Usage("--format goes with render");
    if ((args.overlayFiles[OVERLAY_LEAK] || args.overlayFiles[OVERLAY_PORTALS]) && std::strcmp(command, "render") != 0)
        return Usage("--leak and --portals go with render");

    int32_t thumbnailSide = DEFAULT_THUMBNAIL_SIDE;
    if (thumbnail) {
        if (!args.target) return Usage("thumbnail needs FILE and OUT");
        if (args.view || args.size || args.out) return Usage("thumbnail takes no --view, --size or -o");
        if (args.thumbnailSide && !ParseThumbnailSide(args.thumbnailSide, &thumbnailSide))
            return Usage("-s takes a side from 1 to 4096");
        if (IsStandardOutput(args.target) && isatty(STDOUT_FILENO))
            return Usage("standard output is a terminal: give OUT a file name, or pipe it");
    }

    int viewMode = 0;
    if (drawing) {
        if (!args.view) return Usage("--view is required");
        viewMode = ViewModeByName(args.view);
        if (!viewMode) return Usage("unknown view");
        if (!ParseSize(args.size ? args.size : "800x600", &cliState.clientRight, &cliState.clientBottom))
            return Usage("bad --size");
        if (args.window && !ParseWindow(args.window, &windowRect)) return Usage("bad --window");
    } else if (args.window) {
        return Usage("--window goes with geometry and render");
    }
    PictureFormat format = PICTURE_PNG;
    if (std::strcmp(command, "render") == 0) {
        if (!args.out) return Usage("-o OUT is required");
        format = PictureFormatOf(&args);
        if (format == PICTURE_UNKNOWN)
            return Usage(args.format ? "--format takes png, svg or pdf"
                                     : "OUT must end in .png, .svg or .pdf, or --format must say which");
        if (IsStandardOutput(args.out) && isatty(STDOUT_FILENO))
            return Usage("standard output is a terminal: give -o a file name, or pipe it");
        if (cliState.clientRight == 0 || cliState.clientBottom == 0)
            return Usage("a picture needs at least 1x1 pixels");
    }
    int status;
    if (std::strcmp(command, "maps") == 0) {
        status = CommandMaps(&args);
        FreeMapData();
        return status;
    }

    int archive = args.forceArchive >= 0 ? args.forceArchive
                                         : (args.mapName != nullptr || HasArchiveEnding(args.file));
    // A file manager asks for a thumbnail by the file's content type, so an
    // archive under another name is known by its first bytes.
    if (thumbnail && args.forceArchive < 0 && !archive)
        archive = ArchiveKindOfFile(args.file) != ARCHIVE_NONE;
    if (!LoadFromArgs(&args, archive)) status = 1;
    else if (args.window && !WindowInsideView(viewMode)) status = 2;
    else if (!ReadOverlays(&args)) status = 1;
    else if (std::strcmp(command, "info") == 0) status = CommandInfo();
    else if (std::strcmp(command, "geometry") == 0) status = CommandGeometry(viewMode);
    else if (thumbnail) status = CommandThumbnail(thumbnailSide, args.target);
    else status = CommandRender(viewMode, args.out, format, OUTPUT_REPLACE);
    FreeOverlays();
    FreeMapData();
    return status;
}
