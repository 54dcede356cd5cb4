// archive_layer.h - what a program on the Linux archive layer calls besides
// LoadArchiveFile and ArchiveOpenFilter (map/archive_kind.h).
#ifndef KORVITAN_ARCHIVE_LAYER_H
#define KORVITAN_ARCHIVE_LAYER_H

// Call once at start, before any other thread runs (it may set an
// environment variable). libarchive turns the time of every ZIP entry into
// a time_t with mktime, and unless TZ is set glibc then looks at
// /etc/localtime again at every call: two system calls per entry, a third
// of the time it takes to list a large archive. Naming the same zone
// outright (":/etc/localtime") lets it be read once; times mean what they
// meant.
void PrepareArchiveReading(void);

// The row the last load through LoadArchiveFile read its level from, whole
// (a PAK's entry name, or "ENTRY/ROW" of an archive inside another), as
// the map list showed it; empty when that load read none.
const char *ChosenArchiveRow(void);

#endif
