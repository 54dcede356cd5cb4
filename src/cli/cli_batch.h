// cli_batch.h - korvitan-cli batch: the pictures and facts of every level
// of many files, archives and folders, drawn by worker processes.
//
//   korvitan-cli batch [--views LIST] [--size WxH] [--thumbnail N] [--jobs N]
//                      -o OUTDIR PATH...
//
// The levels, in input order: each PATH that is a level file is one; an
// archive (known by its name or its first bytes) gives one per row of its
// map list; a folder is walked in name order (bytes compared), its files
// ending in .bsp or an archive's ending taken as above (by name only),
// links followed only where they end inside the folder.
// Names for the pictures come from the PATH's last part, the path below
// it and the row, reduced to letters, digits and ".-+_" and numbered
// where two would meet (in any letter case): they never leave OUTDIR and
// never overwrite one another.
//
// The parent lists what is to be drawn, then hands one level at a time to
// each of N forked workers (each a process with its own model, as the
// core has one model per process) and gathers their records; a worker that
// dies is replaced, and its level gets an error record. Every picture is
// written whole or not at all, and a level that fails has none: its
// pictures already written are removed. Last, OUTDIR/manifest.json holds
// one record per level in input order. A progress bar goes to stderr when
// it is a terminal; each failure is printed there as the one-file commands
// print it.
#ifndef KORVITAN_CLI_BATCH_H
#define KORVITAN_CLI_BATCH_H

#include "cli/cli_args.h"

// Runs the batch the arguments describe. Returns the exit status: 0 when
// every level was drawn, 1 when any failed (or the manifest could not be
// written), 2 for bad usage.
int CommandBatch(const CliArgs &args);

#endif
