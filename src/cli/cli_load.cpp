// cli_load.cpp - see cli_load.h.
#include "cli/cli_load.h"

#include <cstdio>
#include <cstring>

#include "cli/cli_backend.h"
#include "map/archive_kind.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"

// Puts the source into fileName, as the open-file choice would, and makes
// the messages name it. A path longer than fileName holds is no path any
// host can open.
static int ChooseSource(const CliSource *source, std::string *error) {
    cliState.source = source->path;
    cliState.chosenRow.clear();
    if (source->path.size() >= FILE_NAME_SIZE) {
        *error = std::strerror(ENAMETOOLONG);
        return 0;
    }
    std::strcpy(fileName, source->path.c_str());
    return 1;
}

// A failure of korvitan-cli's own, printed as the loaders' are.
static int Refuse(const std::string &text, std::string *error) {
    *error = text;
    if (!cliState.quiet) std::fprintf(stderr, "korvitan-cli: %s: %s\n", cliState.source.c_str(), text.c_str());
    return 0;
}

// What the last load's failure said, as the backend printed it.
static int LoadFailure(std::string *error) {
    LoadResult result = LastLoadResult();
    *error = CliMessageText(result.text ? result.text : "", result.caption ? result.caption : "Error");
    return 0;
}

int LoadLevel(const CliSource *source, int archive, const char *mapName, std::string *error) {
    if (!ChooseSource(source, error)) return Refuse(*error, error);
    if (archive) {
        cliState.mapAnswer = mapName ? CLI_MAP_NAMED : CLI_MAP_FIRST;
        cliState.mapName = mapName;
        LoadArchiveFile(CliWindow());
    } else {
        LoadBspFile(CliWindow());
    }
    LoadResult result = LastLoadResult();
    if (result.status == LOAD_LOADED) return 1;
    if (result.status == LOAD_FAILED) return LoadFailure(error);
    if (cliState.offeredRows.empty()) return Refuse("the archive lists no map", error);
    const std::string &path = source->path;
    return Refuse(std::string("no map named \"") + (mapName ? mapName : "") + "\" (see: korvitan-cli maps " +
                      (path.compare(0, 1, "-") == 0 && path != "-" ? "-- " : "") + path + ")",
                  error);
}

int LoadRowAt(const CliSource *source, size_t index, const std::string &row, std::string *error) {
    if (!ChooseSource(source, error)) return Refuse(*error, error);
    cliState.mapAnswer = CLI_MAP_INDEXED;
    cliState.mapIndex = index;
    LoadArchiveFile(CliWindow());
    LoadResult result = LastLoadResult();
    if (result.status == LOAD_FAILED) return LoadFailure(error);
    if (result.status == LOAD_LOADED && cliState.chosenRow == row) return 1;
    FreeMapData();
    return Refuse("the archive changed: its row " + std::to_string(index + 1) + " is no longer \"" + row + "\"",
                  error);
}

int ListArchiveRows(const CliSource *source, std::string *error) {
    if (!ChooseSource(source, error)) return Refuse(*error, error);
    cliState.mapAnswer = CLI_MAP_CANCEL;
    cliState.offeredRows.clear();
    LoadArchiveFile(CliWindow());
    if (LastLoadResult().status == LOAD_FAILED) return LoadFailure(error);
    return 1;
}
