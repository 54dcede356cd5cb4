// cli_source.h - what FILE is, made ready for the loaders.
//
//   -                      standard input, read to its end into memory
//   a plain file           read by the loaders as it is, through its name
//   a FIFO, a device, ...  read to its end into memory like standard input,
//                          never by seeking
//   a folder               refused: "Is a directory"
//
// A source in memory is a block named after FILE (memory_files.h), so the
// loaders open it through fileName as they open any path. Nothing larger
// than SOURCE_LIMIT is read into memory: level and archive positions are
// 32-bit.
//
//   CliSource source;
//   if (!OpenSource(path, &source)) ... source.error says why
//   int archive = SourceIsArchive(&source, 1);  // by its name or first bytes
//   ... fileName = path; LoadBspFile / LoadArchiveFile ...
//   CloseSource(&source);
#ifndef KORVITAN_CLI_SOURCE_H
#define KORVITAN_CLI_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>

const uint64_t SOURCE_LIMIT = uint64_t(1) << 31;  // 2 GiB

enum SourceKind {
    SOURCE_FILE,    // a plain file, read through its name
    SOURCE_MEMORY,  // read whole into memory
    SOURCE_FOLDER,  // a folder (OpenSource refuses it; batch walks it)
};

struct CliSource {
    std::string path;  // as given
    SourceKind kind;
    void *block;  // SOURCE_MEMORY: the bytes, named `path` while open
    size_t size;
    std::string error;  // why OpenSource failed: "Is a directory", "Can't open file: ..."
};

// What path is, without reading it: SOURCE_FOLDER, SOURCE_FILE for a plain
// file, SOURCE_MEMORY for "-" and anything else that can be opened. Returns
// 0 with error set when it cannot be looked at.
int LookAtSource(const char *path, SourceKind *kind, std::string *error);

// Makes path ready for the loaders (see above). Returns 0 with
// source->error set when it cannot be: no such file, no permission, a
// folder, more than SOURCE_LIMIT bytes from a stream, a read that failed.
int OpenSource(const char *path, CliSource *source);
// Forgets the name of a block in memory and frees it.
void CloseSource(CliSource *source);

// Whether the source is read as an archive: its name ends like one (not
// for "-"), or its first bytes are an archive's where they are asked
// (byFirstBytes) or the source is in memory, read from a stream that may
// have no telling name.
int SourceIsArchive(const CliSource *source, int byFirstBytes);

#endif
