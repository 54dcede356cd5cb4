// cli_output.h - where a picture goes, by what OUT is.
//
//   OUT does not exist        a new file, created whole or not at all: the
//                             picture is written into a temporary file in
//                             OUT's folder and linked there under OUT's name
//                             once every byte is written and flushed
//   a plain file              OUTPUT_REPLACE: replaced in one step the same
//                             way (renamed over OUT), or left exactly as it
//                             was, whatever goes wrong (disk full, no
//                             permission, the process killed);
//                             OUTPUT_IN_PLACE: written into the file itself
//                             (truncated, written, flushed) once the whole
//                             picture is made, so that a program holding
//                             the file open reads the picture back
//   a symbolic link that ends the same as the plain file it ends at, in that
//   at a plain file           file's own folder; the link stays a link
//   anything else             written straight into it as the bytes come:
//                             a character device, a FIFO, a socket (one
//                             this process holds, or one to connect to), a
//                             link that ends at one, or one that cannot be
//                             followed to a path (a descriptor link such as
//                             /dev/stdout or /proc/self/fd/N)
//
// Where the kernel allows it the temporary file has no name until the very
// end (O_TMPFILE), so not even a kill -9 leaves one behind; elsewhere it is
// a hidden ".OUT.XXXXXX" beside OUT that an interrupt or a failure removes.
//
//   OutputFile out;
//   if (!OutputBegin(&out, path, OUTPUT_REPLACE)) ... out.error says why
//   OutputWrite(&out, bytes, n); ...       (a failed write is remembered)
//   if (!OutputCommit(&out)) ... out.error says why; a plain file was not
//                                        replaced
#ifndef KORVITAN_CLI_OUTPUT_H
#define KORVITAN_CLI_OUTPUT_H

#include <cstddef>

enum { OUTPUT_PATH_SIZE = 4096 + 16 };

// How a plain file that exists already is written.
enum OutputExisting {
    OUTPUT_REPLACE,   // a new file renamed over it
    OUTPUT_IN_PLACE,  // truncated and written through its own inode
};

// How the bytes are on their way.
enum OutputWay {
    OUTPUT_WAY_TEMPORARY,  // into a temporary file, then put in place
    OUTPUT_WAY_HELD,       // gathered in memory, then written into the file
    OUTPUT_WAY_STREAM,     // straight into the descriptor
};

struct OutputFile {
    int fd;
    OutputWay way;
    int named;              // 1: the temporary file has a name (tempPath)
    char finalPath[OUTPUT_PATH_SIZE];  // the file put in place (OUT, or where its link ends)
    char tempPath[OUTPUT_PATH_SIZE];
    unsigned char *held;    // OUTPUT_WAY_HELD: the picture so far
    size_t heldSize, heldCapacity;
    int error;              // errno of the first failure, 0 while all is well
};

// Decides by what target is how the picture goes there, and opens what it
// writes into: the temporary file, the existing file or the target itself.
// Returns 0 with out->error set when that cannot be opened (no such
// folder, no permission, a folder in the way, ...).
int OutputBegin(OutputFile *out, const char *target, OutputExisting existing);
// A new file put in place at target whatever is there now: a plain file or
// a link there is replaced, never followed (batch's pictures, which must
// stay in their folder). Written whole or not at all, as a new file is.
int OutputBeginReplacing(OutputFile *out, const char *target);
// Writes into the process's standard output, as the bytes come.
int OutputBeginStandard(OutputFile *out);
// Appends n bytes; returns 0 once any write has failed.
int OutputWrite(OutputFile *out, const void *bytes, size_t n);
// Finishes the picture: puts the temporary file in place, or writes the
// held picture into its file, or closes the stream; flushed to the disk
// where it is a file. On any failure, earlier ones included, a temporary
// file is removed and 0 is returned with out->error set.
int OutputCommit(OutputFile *out);

// Writes all n bytes to fd, going on after a signal interrupts a write.
// Returns 0, or the errno of the failure (EIO for a write of nothing).
int WriteFully(int fd, const void *bytes, size_t n);

#endif
