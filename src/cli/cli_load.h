// cli_load.h - a source loaded as the window would load it, with the
// outcome told in words korvitan-cli prints or records.
//
// The loaders show their own failures through PlatMessageBox, which
// prints "korvitan-cli: FILE: CAPTION: TEXT" (FILE: ROW once a row of an
// archive was chosen) unless cliState.quiet; the few failures that are
// korvitan-cli's own (an archive with no such row) are printed here alike.
// Either way *error gets the text after "FILE: " ("FILE: ROW: " where a
// row was chosen), for batch's records.
#ifndef KORVITAN_CLI_LOAD_H
#define KORVITAN_CLI_LOAD_H

#include <string>

#include "cli/cli_source.h"

// Loads the source's level: as an archive's row named mapName (null: the
// first row) when archive is 1, else as a level file. Returns 1 when a
// level is in the model.
int LoadLevel(const CliSource *source, int archive, const char *mapName, std::string *error);

// Loads row `index` (counted from 0) of the archive's map list, whose text
// is row: the row batch listed, even where two rows read the same. A row
// whose text is no longer there (the archive changed) fails.
int LoadRowAt(const CliSource *source, size_t index, const std::string &row, std::string *error);

// Reads an archive's rows into cliState.offeredRows without loading any.
// Returns 0 with *error set when the archive cannot be read.
int ListArchiveRows(const CliSource *source, std::string *error);

#endif
