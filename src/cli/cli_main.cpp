// cli_main.cpp - korvitan-cli: inspect, check and render levels without a
// screen, over the same engine as the desktop programs.
//
//   korvitan-cli maps [--json] ARCHIVE
//   korvitan-cli info [--json] FILE [--map ROW]
//   korvitan-cli geometry FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]
//   korvitan-cli render FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]
//                [--format png|svg|pdf] [--leak FILE] [--portals FILE] -o OUT
//   korvitan-cli thumbnail [-s N] [--exact] FILE OUT
//   korvitan-cli batch [--views LIST] [--size WxH] [--thumbnail N] [--jobs N] -o OUTDIR PATH...
//   korvitan-cli --version | --help
//
// FILE "-" is standard input, read whole into memory, as is a FIFO or a
// device (cli_source.h). A file is read as an archive (PAK, ZIP, PK3,
// PK4, 7z, RAR) when its name ends like one (any case) or a map is named;
// --pak and --bsp say it outright. Standard input and streams, which have
// no telling name, and thumbnail's FILE are also known by their first
// bytes.
//
// Every message begins "korvitan-cli: "; a load failure names the file
// (and the row) before the message the window would show, and exits 1,
// as does a picture or standard output that cannot be written; bad usage
// is one line saying what is wrong and a pointer to --help, exit 2.
//
// Where a picture goes depends on what OUT is (cli_output.h): a new or
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
// thumbnail draws the 3D (Z) view fitted into N x N for file managers
// (cli_pictures.h): its command line is the one a thumbnailer entry runs.
// A file manager may create OUT itself and read the picture back through
// its own open descriptor, so an OUT that exists is written in place.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "archive/archive_layer.h"
#include "cli/cli_args.h"
#include "cli/cli_backend.h"
#include "cli/cli_batch.h"
#include "cli/cli_json.h"
#include "cli/cli_load.h"
#include "cli/cli_output.h"
#include "cli/cli_pictures.h"
#include "cli/cli_source.h"
#include "map/level_reader.h"
#include "map/model.h"
#include "map/overlay.h"
#include "res/resource.h"
#include "view/views.h"

static const char USAGE_TEXT[] =
    "usage: korvitan-cli maps [--json] ARCHIVE\n"
    "       korvitan-cli info [--json] FILE [--map ROW]\n"
    "       korvitan-cli geometry FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]\n"
    "       korvitan-cli render FILE [--map ROW] --view V [--size WxH] [--window OX,OY,EW,EH]\n"
    "                    [--format png|svg|pdf] [--leak FILE] [--portals FILE] -o OUT\n"
    "       korvitan-cli thumbnail [-s N] [--exact] FILE OUT\n"
    "       korvitan-cli batch [--views LIST] [--size WxH] [--thumbnail N] [--jobs N]\n"
    "                    -o OUTDIR PATH...\n"
    "       korvitan-cli --version\n"
    "V is one of xy xz yz 3dx 3dy 3dz; LIST is views separated by commas (default\n"
    "3dz); the size defaults to 800x600. --window draws the part of the view with\n"
    "origin OX,OY and extent EW,EH (default: all). Options may be written\n"
    "--opt=value; -- ends the options.\n"
    "The picture is a PNG, SVG or PDF file by --format, else by OUT's ending\n"
    "(.png, .svg or .pdf). OUT - is standard output (PNG unless --format says\n"
    "otherwise), never a terminal. FILE - is standard input. FILE is read as an\n"
    "archive when it ends in .pak .pk3 .pk4 .zip .7z or .rar or --map is given\n"
    "(standard input, a pipe and thumbnail's FILE also when they begin like one);\n"
    "--pak or --bsp says which it is. ROW is a row as maps prints it. --leak draws\n"
    "a leak trace (.pts, .lin) in red and --portals a portal file (.prt) in blue\n"
    "over the level.\n"
    "thumbnail writes the 3D (Z) view as a PNG whose longer side is N pixels\n"
    "(1 to 4096, default 256), the other side in the view's proportions: drawn at\n"
    "four times the size and averaged into gray, or exactly as render draws it\n"
    "with --exact.\n"
    "batch draws every level of the PATHs (files, archives, folders) into OUTDIR\n"
    "with N worker processes (default: one per core) and writes OUTDIR/manifest.json.\n";

enum { DEFAULT_THUMBNAIL_SIDE = 256 };

static const char VIEW_PROBLEM[] = "--view needs one of xy xz yz 3dx 3dy 3dz";

// The part of the view --window names; null draws the full view.
static ViewRect windowRect;
static const ViewRect *shownRect;

// Flushes standard output. A write that failed (a full disk, a closed
// descriptor) is an error with a message; a closed pipe has ended the
// process already by SIGPIPE, as it ends other tools.
// knownError is the errno of a write that failed already, or 0.
static int FinishStandardOutput(int knownError = 0) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout) && !knownError) return 0;
    int error = knownError ? knownError : errno ? errno : EIO;
    std::fprintf(stderr, "korvitan-cli: cannot write standard output: %s\n", std::strerror(error));
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
    CliUsageError(problem);
    return 0;
}

// The overlays the arguments name, read once the level is loaded. A
// broken file is said and drawn up to its broken line; one that cannot be
// read fails the command.
static Overlay overlays[OVERLAY_KINDS];

static int ReadOverlays(const CliArgs &args) {
    static const CliOption OPTIONS[OVERLAY_KINDS] = {OPT_LEAK, OPT_PORTALS};
    static_assert(OVERLAY_LEAK == 0 && OVERLAY_PORTALS == 1, "the options in the overlays' order");
    for (int k = 0; k < OVERLAY_KINDS; k++) {
        if (!args.given[OPTIONS[k]]) continue;
        char message[FILE_NAME_SIZE + 128];
        OverlayRead read = ReadOverlayFile(OverlayKind(k), args.value[OPTIONS[k]].c_str(), &overlays[k], message,
                                           sizeof message);
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

// ---- The commands, on the loaded level -----------------------------------------------

static int CommandMaps(const CliSource *source, bool json) {
    std::string error;
    int listed = ListArchiveRows(source, &error);
    FreeMapData();
    if (!listed) return 1;
    if (json) std::printf("%s\n", JsonText(MapsJson(source->path, cliState.offeredRows), true).c_str());
    else
        for (const std::string &row : cliState.offeredRows) std::printf("%s\n", row.c_str());
    return FinishStandardOutput();
}

static int CommandInfo(const CliSource *source, bool json) {
    if (json) {
        std::printf("%s\n", JsonText(LevelFactsJson(source->path, cliState.chosenRow), true).c_str());
        return FinishStandardOutput();
    }
    const MapBoundsRecord &b = MapBounds;
    std::printf("version %d\nformat %s\nvertices %d\nedges %d\n", int(LastLevelVersion()),
                LastLevelFormat(), int(MapData.vertexCount), int(MapData.edgeCount));
    std::printf("bounds %.9g %.9g %.9g %.9g %.9g %.9g\n", double(b.minX), double(b.maxX),
                double(b.minY), double(b.maxY), double(b.minZ), double(b.maxZ));
    return FinishStandardOutput();
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
    DrawViewPartInOrder(CliWindow(), dc, viewMode, shownRect);
    return FinishStandardOutput(CliFlushGeometry(dc));
}

// OUT "-" is standard output.
static int IsStandardOutput(const char *path) { return std::strcmp(path, "-") == 0; }

// How a picture is made into an output that is open.
enum PictureKind { PICTURE_VIEW, PICTURE_THUMBNAIL, PICTURE_EXACT_THUMBNAIL };

// Writes the picture where path says (see cli_output.h); existing says how
// a plain file that exists is written.
static int WriteToPath(const char *path, OutputExisting existing, PictureKind kind, int viewMode,
                       PictureFormat format, int32_t side) {
    OutputFile out;
    int ok = IsStandardOutput(path) ? OutputBeginStandard(&out) : OutputBegin(&out, path, existing);
    if (ok) {
        if (kind == PICTURE_VIEW) ok = WritePicture(viewMode, shownRect, format, &out);
        else ok = WriteThumbnail(side, kind == PICTURE_EXACT_THUMBNAIL, &out);
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

// ---- Checking the line before anything is read ------------------------------------------

struct Plan {
    int viewMode;
    PictureFormat format;
    int32_t side;  // thumbnail
    int archive;   // 1 archive, 0 level, -1 by name and first bytes
};

// --format, else OUT's ending, else (for standard output) PNG.
static PictureFormat PictureFormatOf(const CliArgs &args) {
    if (args.given[OPT_FORMAT]) return PictureFormatByName(args.value[OPT_FORMAT].c_str());
    const char *out = args.value[OPT_OUT].c_str();
    if (IsStandardOutput(out)) return PICTURE_PNG;
    const char *dot = std::strrchr(out, '.');
    return dot && !std::strchr(dot, '/') ? PictureFormatByName(dot + 1) : PICTURE_UNKNOWN;
}

static int RefuseTerminal(const char *path, const char *instead) {
    if (!IsStandardOutput(path) || !isatty(STDOUT_FILENO)) return 0;
    return CliUsageError(std::string("standard output is a terminal: ") + instead);
}

// The checks of geometry and render. Returns 0 when the line is good, else
// the exit status of bad usage (the problem printed).
static int CheckDrawing(const CliArgs &args, Plan *plan) {
    if (!args.given[OPT_VIEW] || !(plan->viewMode = ViewModeByName(args.value[OPT_VIEW].c_str())))
        return CliUsageError(VIEW_PROBLEM);
    const char *size = args.given[OPT_SIZE] ? args.value[OPT_SIZE].c_str() : "800x600";
    if (!ParseSize(size, &cliState.clientRight, &cliState.clientBottom))
        return CliUsageError("--size needs WxH, each side from 0 to 16384");
    if (args.given[OPT_WINDOW] && !ParseWindow(args.value[OPT_WINDOW].c_str(), &windowRect))
        return CliUsageError("--window needs OX,OY,EW,EH: four whole numbers");
    if (args.command != COMMAND_RENDER) return 0;
    if (!args.given[OPT_OUT]) return CliUsageError("render needs -o OUT");
    plan->format = PictureFormatOf(args);
    if (plan->format == PICTURE_UNKNOWN)
        return CliUsageError(args.given[OPT_FORMAT] ? "--format needs one of png svg pdf"
                                                    : "OUT must end in .png, .svg or .pdf, or --format must say which");
    if (int status = RefuseTerminal(args.value[OPT_OUT].c_str(), "give -o a file name, or pipe it")) return status;
    if (cliState.clientRight == 0 || cliState.clientBottom == 0)
        return CliUsageError("a picture needs at least 1x1 pixels");
    return 0;
}

static int CheckLine(const CliArgs &args, Plan *plan) {
    *plan = Plan{0, PICTURE_PNG, DEFAULT_THUMBNAIL_SIDE, -1};
    if (args.given[OPT_PAK] && args.given[OPT_BSP]) return CliUsageError("--pak and --bsp say opposite things");
    if (args.given[OPT_PAK]) plan->archive = 1;
    if (args.given[OPT_BSP]) plan->archive = 0;
    if (args.given[OPT_MAP] && plan->archive < 0) plan->archive = 1;
    switch (args.command) {
    case COMMAND_GEOMETRY:
    case COMMAND_RENDER: return CheckDrawing(args, plan);
    case COMMAND_THUMBNAIL:
        if (args.given[OPT_SIDE] && !ParseCount(args.value[OPT_SIDE].c_str(), MAX_THUMBNAIL_SIDE, &plan->side))
            return CliUsageError("-s needs a side from 1 to 4096");
        return RefuseTerminal(args.names[1].c_str(), "give OUT a file name, or pipe it");
    default: return 0;
    }
}

// ---- The one-file commands ----------------------------------------------------------------

static int RunOnFile(const CliArgs &args, const Plan &plan) {
    CliSource source;
    if (!OpenSource(args.names[0].c_str(), &source)) {
        std::fprintf(stderr, "korvitan-cli: %s: %s\n", args.names[0].c_str(), source.error.c_str());
        return 1;
    }
    cliState.source = source.path;
    int status;
    if (args.command == COMMAND_MAPS) {
        status = CommandMaps(&source, args.given[OPT_JSON]);
    } else {
        // A file manager asks for a thumbnail by the file's content type, so
        // an archive under another name is known by its first bytes.
        int archive = plan.archive >= 0 ? plan.archive
                                        : SourceIsArchive(&source, args.command == COMMAND_THUMBNAIL);
        std::string error;
        const char *mapName = args.given[OPT_MAP] ? args.value[OPT_MAP].c_str() : nullptr;
        if (!LoadLevel(&source, archive, mapName, &error)) status = 1;
        else if (args.given[OPT_WINDOW] && !WindowInsideView(plan.viewMode)) status = 2;
        else if (!ReadOverlays(args)) status = 1;
        else if (args.command == COMMAND_INFO) status = CommandInfo(&source, args.given[OPT_JSON]);
        else if (args.command == COMMAND_GEOMETRY) status = CommandGeometry(plan.viewMode);
        else if (args.command == COMMAND_THUMBNAIL)
            status = WriteToPath(args.names[1].c_str(), OUTPUT_IN_PLACE,
                                 args.given[OPT_EXACT] ? PICTURE_EXACT_THUMBNAIL : PICTURE_THUMBNAIL, 0,
                                 PICTURE_PNG, plan.side);
        else
            status = WriteToPath(args.value[OPT_OUT].c_str(), OUTPUT_REPLACE, PICTURE_VIEW, plan.viewMode,
                                 plan.format, 0);
        FreeOverlays();
        FreeMapData();
    }
    CloseSource(&source);
    return status;
}

int main(int argc, char **argv) {
    // A closed pipe ends the program quietly, as it ends other tools, even
    // when the program was started with SIGPIPE ignored.
    std::signal(SIGPIPE, SIG_DFL);
    CliArgs args;
    std::string problem;
    if (!ParseCommandLine(argc, argv, &args, &problem)) return CliUsageError(problem);
    if (args.given[OPT_HELP]) {
        std::fputs(USAGE_TEXT, stdout);
        return FinishStandardOutput();
    }
    if (args.given[OPT_VERSION]) {
        std::printf("korvitan-cli %s\n", KORVITAN_VERSION);
        return FinishStandardOutput();
    }
    Plan plan;
    if (args.command == COMMAND_BATCH) {
        PrepareArchiveReading();
        return CommandBatch(args);
    }
    if (int status = CheckLine(args, &plan)) return status;
    PrepareArchiveReading();
    return RunOnFile(args, plan);
}
