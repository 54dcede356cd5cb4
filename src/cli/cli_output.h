// cli_output.h - pictures written whole or not at all.
//
// A picture is written into a temporary file in OUT's own folder and renamed
// over OUT only once every byte is written and flushed to the disk, so an
// existing OUT is replaced in one step or left exactly as it was, whatever
// goes wrong (disk full, no permission, a folder where OUT should be, the
// process killed). Where the kernel allows it the temporary file has no
// name until the very end (O_TMPFILE), so not even a kill -9 leaves one
// behind; elsewhere it is a hidden ".OUT.XXXXXX" beside OUT that an
// interrupt or a failure removes.
//
//   OutputFile out;
//   if (!OutputBegin(&out, path)) ... out.error says why
//   OutputWrite(&out, bytes, n); ...       (a failed write is remembered)
//   if (!OutputCommit(&out)) ... out.error says why; nothing was replaced
#ifndef KORVITAN_CLI_OUTPUT_H
#define KORVITAN_CLI_OUTPUT_H

#include <cstddef>

struct OutputFile {
    int fd;
    int named;              // 1: the temporary file has a name (tempPath)
    const char *target;     // OUT
    char tempPath[4096 + 16];
    int error;              // errno of the first failure, 0 while all is well
};

// Creates the temporary file beside target. Returns 0 with out->error set
// when it cannot be created (no such folder, no permission, ...).
int OutputBegin(OutputFile *out, const char *target);
// Appends n bytes; returns 0 once any write has failed.
int OutputWrite(OutputFile *out, const void *bytes, size_t n);
// Flushes the file to the disk and puts it in place of target. On any
// failure, earlier ones included, the temporary file is removed, target is
// untouched and 0 is returned with out->error set.
int OutputCommit(OutputFile *out);

#endif
