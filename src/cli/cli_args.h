// cli_args.h - korvitan-cli's command line: a command, its options and its
// names, read against one table.
//
// Every option is written "--opt value" or "--opt=value" (short ones "-o
// value"); "--" ends the options, so a name that begins with "-" can follow
// it; "-" alone is a name (standard input or output). An option belongs to
// the commands the table says; anything else is bad usage, told in one line
// by ParseCommandLine's problem text. --help and --version win over any
// other problem on the line.
//
// A new option is one enum value and one row of the table in cli_args.cpp.
#ifndef KORVITAN_CLI_ARGS_H
#define KORVITAN_CLI_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

enum CliCommand {
    COMMAND_NONE,
    COMMAND_MAPS,
    COMMAND_INFO,
    COMMAND_GEOMETRY,
    COMMAND_RENDER,
    COMMAND_THUMBNAIL,
    COMMAND_BATCH,
};

enum CliOption {
    OPT_MAP,        // --map ROW
    OPT_VIEW,       // --view V
    OPT_VIEWS,      // --views LIST (batch)
    OPT_SIZE,       // --size WxH
    OPT_WINDOW,     // --window OX,OY,EW,EH
    OPT_LEAK,       // --leak FILE (render)
    OPT_PORTALS,    // --portals FILE (render)
    OPT_FORMAT,     // --format png|svg|pdf
    OPT_OUT,        // -o OUT (OUTDIR for batch)
    OPT_SIDE,       // -s N (thumbnail)
    OPT_THUMBNAIL,  // --thumbnail N (batch)
    OPT_JOBS,       // --jobs N (batch)
    OPT_EXACT,      // --exact (thumbnail)
    OPT_JSON,       // --json (info, maps)
    OPT_PAK,        // --pak
    OPT_BSP,        // --bsp
    OPT_HELP,       // --help, -h
    OPT_VERSION,    // --version
    OPT_COUNT
};

struct CliArgs {
    CliCommand command;
    // Per option: whether it was given, and its value (the last one given;
    // empty for an option without a value).
    bool given[OPT_COUNT];
    std::string value[OPT_COUNT];
    std::vector<std::string> names;  // FILE, OUT, PATH...: what is not an option
};

// Reads argv into args. Returns 1 when the line is good usage, or when it
// asks for --help or --version; otherwise 0 with *problem saying what is
// wrong in one line (without the program's name).
int ParseCommandLine(int argc, char **argv, CliArgs *args, std::string *problem);

// ---- Values ----------------------------------------------------------------

enum { MAX_PICTURE_SIDE = 16384, MAX_THUMBNAIL_SIDE = 4096 };

// The view a name says ("xy", "xz", "yz", "3dx", "3dy", "3dz"), as its
// command identifier; 0 for any other name.
int ViewModeByName(const char *name);
// The name of a view's command identifier.
const char *ViewName(int viewMode);
// "WxH" (or "WXH"), each side from 0 to MAX_PICTURE_SIDE.
int ParseSize(const char *text, int32_t *width, int32_t *height);
// A count in decimal digits only, from 1 to most.
int ParseCount(const char *text, int32_t most, int32_t *count);

// Prints a usage error: "korvitan-cli: PROBLEM" and "Try 'korvitan-cli
// --help'." on stderr. Returns 2, the exit status of bad usage.
int CliUsageError(const std::string &problem);


#endif
