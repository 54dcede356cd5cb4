// cli_args.cpp - see cli_args.h.
#include "cli/cli_args.h"

#include "res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A command and the names it takes: at least `least`, at most `most` (-1:
// any number), as the usage line calls them.
struct CommandSpec {
    CliCommand command;
    const char *name;
    int least, most;
    const char *wanted;  // what a missing name is called
};

const CommandSpec COMMANDS[] = {
    {COMMAND_MAPS, "maps", 1, 1, "ARCHIVE"},
    {COMMAND_INFO, "info", 1, 1, "FILE"},
    {COMMAND_GEOMETRY, "geometry", 1, 1, "FILE"},
    {COMMAND_RENDER, "render", 1, 1, "FILE"},
    {COMMAND_THUMBNAIL, "thumbnail", 2, 2, "FILE and OUT"},
    {COMMAND_BATCH, "batch", 1, -1, "at least one PATH"},
};

constexpr unsigned Bit(CliCommand c) { return 1u << c; }
constexpr unsigned LOADING = Bit(COMMAND_INFO) | Bit(COMMAND_GEOMETRY) | Bit(COMMAND_RENDER) |
                             Bit(COMMAND_THUMBNAIL);
constexpr unsigned DRAWING = Bit(COMMAND_GEOMETRY) | Bit(COMMAND_RENDER);
constexpr unsigned ANY = ~0u;

struct OptionSpec {
    CliOption option;
    const char *name;
    const char *shortName;  // or null
    bool takesValue;
    unsigned commands;  // Bit() of each command it belongs to
};

const OptionSpec OPTIONS[] = {
    {OPT_MAP, "--map", nullptr, true, LOADING},
    {OPT_VIEW, "--view", nullptr, true, DRAWING},
    {OPT_VIEWS, "--views", nullptr, true, Bit(COMMAND_BATCH)},
    {OPT_SIZE, "--size", nullptr, true, DRAWING | Bit(COMMAND_BATCH)},
    {OPT_WINDOW, "--window", nullptr, true, DRAWING},
    {OPT_FORMAT, "--format", nullptr, true, Bit(COMMAND_RENDER)},
    {OPT_LEAK, "--leak", nullptr, true, Bit(COMMAND_RENDER)},
    {OPT_PORTALS, "--portals", nullptr, true, Bit(COMMAND_RENDER)},
    {OPT_OUT, "--output", "-o", true, Bit(COMMAND_RENDER) | Bit(COMMAND_BATCH)},
    {OPT_SIDE, "--side", "-s", true, Bit(COMMAND_THUMBNAIL)},
    {OPT_THUMBNAIL, "--thumbnail", nullptr, true, Bit(COMMAND_BATCH)},
    {OPT_JOBS, "--jobs", "-j", true, Bit(COMMAND_BATCH)},
    {OPT_EXACT, "--exact", nullptr, false, Bit(COMMAND_THUMBNAIL)},
    {OPT_JSON, "--json", nullptr, false, Bit(COMMAND_INFO) | Bit(COMMAND_MAPS)},
    {OPT_PAK, "--pak", nullptr, false, LOADING},
    {OPT_BSP, "--bsp", nullptr, false, LOADING},
    {OPT_HELP, "--help", "-h", false, ANY},
    {OPT_VERSION, "--version", nullptr, false, ANY},
};

const OptionSpec *FindOption(const std::string &written) {
    for (const OptionSpec &spec : OPTIONS)
        if (written == spec.name || (spec.shortName && written == spec.shortName)) return &spec;
    return nullptr;
}

const CommandSpec *FindCommand(const char *name) {
    for (const CommandSpec &spec : COMMANDS)
        if (std::strcmp(name, spec.name) == 0) return &spec;
    return nullptr;
}

// Keeps the first problem of the line; the rest are not reported.
void Note(std::string *problem, const std::string &text) {
    if (problem->empty()) *problem = text;
}

}  // namespace

static const char *const VIEW_NAMES[] = {"xy", "xz", "yz", "3dx", "3dy", "3dz"};

int ViewModeByName(const char *name) {
    for (int i = 0; i < 6; i++)
        if (std::strcmp(name, VIEW_NAMES[i]) == 0) return IDM_VIEW_XY + i;
    return 0;
}

const char *ViewName(int viewMode) {
    int i = viewMode - IDM_VIEW_XY;
    return i >= 0 && i < 6 ? VIEW_NAMES[i] : "";
}

int ParseSize(const char *text, int32_t *width, int32_t *height) {
    char *end = nullptr;
    if (*text < '0' || *text > '9') return 0;
    long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return 0;
    const char *rest = end + 1;
    if (*rest < '0' || *rest > '9') return 0;
    long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return 0;
    if (w < 0 || h < 0 || w > MAX_PICTURE_SIDE || h > MAX_PICTURE_SIDE) return 0;
    *width = int32_t(w);
    *height = int32_t(h);
    return 1;
}

int ParseCount(const char *text, int32_t most, int32_t *count) {
    int32_t n = 0;
    for (const char *p = text; *p; p++) {
        if (*p < '0' || *p > '9') return 0;
        n = n * 10 + (*p - '0');
        if (n > most) return 0;
    }
    if (!*text || n < 1) return 0;
    *count = n;
    return 1;
}

int CliUsageError(const std::string &problem) {
    std::fprintf(stderr, "korvitan-cli: %s\nTry 'korvitan-cli --help'.\n", problem.c_str());
    return 2;
}

int ParseCommandLine(int argc, char **argv, CliArgs *args, std::string *problem) {
    args->command = COMMAND_NONE;
    for (int i = 0; i < OPT_COUNT; i++) {
        args->given[i] = false;
        args->value[i].clear();
    }
    args->names.clear();
    problem->clear();
    const CommandSpec *command = nullptr;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (optionsEnded || a[0] != '-' || a[1] == '\0') {
            if (!command && args->names.empty()) {
                command = FindCommand(a);
                if (!command) Note(problem, std::string("unknown command '") + a + "'");
                else args->command = command->command;
                if (command) continue;
            }
            args->names.push_back(a);
            continue;
        }
        if (std::strcmp(a, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        // "--opt=value": the name up to the first '='.
        std::string written = a, attached;
        bool hasAttached = false;
        size_t equals = written.find('=');
        if (written.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            attached = written.substr(equals + 1);
            written.resize(equals);
            hasAttached = true;
        }
        const OptionSpec *spec = FindOption(written);
        if (!spec) {
            Note(problem, "unknown option '" + written + "'");
            continue;
        }
        if (spec->takesValue && !hasAttached) {
            if (i + 1 >= argc) {
                Note(problem, "option '" + written + "' needs a value");
                continue;
            }
            attached = argv[++i];
        } else if (!spec->takesValue && hasAttached) {
            Note(problem, "option '" + written + "' takes no value");
            continue;
        }
        args->given[spec->option] = true;
        args->value[spec->option] = attached;
        // Whether the option belongs to the command is judged at the end:
        // it may come before the command.
    }
    if (args->given[OPT_HELP] || args->given[OPT_VERSION]) {
        problem->clear();
        return 1;
    }
    if (!problem->empty()) return 0;
    if (!command) {
        *problem = "no command given (maps, info, geometry, render, thumbnail or batch)";
        return 0;
    }
    for (const OptionSpec &spec : OPTIONS) {
        if (args->given[spec.option] && !(spec.commands & Bit(command->command))) {
            *problem = std::string(command->name) + " takes no " +
                       (spec.shortName && spec.option != OPT_HELP ? spec.shortName : spec.name);
            return 0;
        }
    }
    int n = int(args->names.size());
    if (n < command->least) {
        *problem = std::string(command->name) + " needs " + command->wanted;
        return 0;
    }
    if (command->most >= 0 && n > command->most) {
        *problem = "unexpected argument '" + args->names[size_t(command->most)] + "'";
        return 0;
    }
    return 1;
}
