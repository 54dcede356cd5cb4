// archive_kind.h - which files are archives, and the one call that opens
// any archive the program reads.
//
// An archive is known by its first bytes, or, where a caller goes by name
// (a file handed in on a command line or dropped, an entry inside another
// archive), by the ending of its name:
//
//   PAK   "PACK"                                 .pak
//   ZIP   "PK" 03 04, or an empty one's "PK" 05 06   .zip .pk3 .pk4
//   7z    "7z" BC AF 27 1C                       .7z
//   RAR   "Rar!" 1A 07                           .rar
#ifndef KORVITAN_MAP_ARCHIVE_KIND_H
#define KORVITAN_MAP_ARCHIVE_KIND_H

#include <cstddef>
#include <cstdint>

struct PlatWindow;

enum ArchiveKind { ARCHIVE_NONE, ARCHIVE_PAK, ARCHIVE_ZIP, ARCHIVE_7Z, ARCHIVE_RAR };

// The kind the first n bytes of a file say it is; NONE for none of them.
ArchiveKind ArchiveKindOfBytes(const void *bytes, size_t n);
// The kind a file's first bytes say; NONE also when it cannot be read.
ArchiveKind ArchiveKindOfFile(const char *path);
// Whether a name ends in one of the archive endings above, in any letter
// case (ASCII).
int HasArchiveEnding(const char *name);
// Whether a name ends in ".pak", in any letter case.
int HasPakEnding(const char *name);

// ---- The archive layer, picked by the build ---------------------------------
//
//   src/archive/   korvitan and korvitan-cli: PAK files with the PAK
//                  reader, every other kind through libarchive, archives
//                  inside archives
//   src/map/pak_layer.cpp   korvitan.exe: PAK files only
//
// Loads the archive named by fileName as "Open .PAK ..." does: lets the user
// choose a map (PlatRunMapSelectDialog) and reads it. Reports every failure
// itself and returns 1 when a level was loaded, as LoadPakFile does.
int32_t LoadArchiveFile(PlatWindow *window);
// The open-file dialog's filter for archives: description and pattern
// pairs, each ended by a zero byte, then a closing zero byte. A pattern
// may hold several, separated by ';'.
const char *ArchiveOpenFilter(void);

#endif
