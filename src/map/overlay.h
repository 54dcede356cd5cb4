// overlay.h - lines drawn over a level: the leak trace a level compiler
// writes when the level is not sealed, and the portals between its leaves.
//
// Both are text files a compiler writes beside the level, numbers as a C
// locale prints them ("-12.5", "1e+06"), fields separated by blanks, lines
// ended by LF or CR LF; blank lines are skipped wherever they are.
//
//   leak trace (NAME.pts, else NAME.lin)
//       one point a line: x y z. The points are joined in order into one
//       polyline.
//   portals (NAME.prt)
//       line 1        PRT1, PRT1-AM or PRT2
//       count lines   one whole number each: PRT1 the leaves, then the
//                     portals (some writers add a third, the faces listed
//                     after the portals); PRT1-AM the clusters, the
//                     portals, the leaves; PRT2 the leaves, the clusters,
//                     the portals
//       portal lines  as many as the portal count says, each
//                       N A B [F] (x y z) (x y z) ...
//                     a point count N (at least 3), two leaf or cluster
//                     numbers A and B, in some writers' files one more
//                     whole number F, then N points in parentheses; each
//                     portal is drawn as its polygon's outline
//       the rest      (which leaf is in which cluster, faces) is not read
//
// Reading stops at the first line that does not fit. What was read before
// it is kept and drawn, and the message names the line: "Leak trace: line
// 7: expected three numbers x y z". The header's counts never size an
// allocation: the tables are sized by what the file's bytes can hold, so
// the work is bounded by the file's size, which is at most
// OVERLAY_FILE_LIMIT.
//
// Host-free: files are read through platform.h, the tables allocated with
// PlatAlloc like the level's.
#ifndef KORVITAN_MAP_OVERLAY_H
#define KORVITAN_MAP_OVERLAY_H

#include <cstddef>
#include <cstdint>

#include "map/records.h"

enum OverlayKind { OVERLAY_LEAK, OVERLAY_PORTALS, OVERLAY_KINDS };

// The largest overlay file read: far beyond any compiler's (a million-point
// leak trace is about 30 MB).
const int64_t OVERLAY_FILE_LIMIT = int64_t(256) << 20;

// One overlay: paths of points, each drawn as its points joined in order,
// and back to its first point when closed (a portal's polygon).
struct Overlay {
    Vertex *points;     // every path's points, path after path
    int32_t pointCount;
    int32_t *pathEnds;  // path k is points [pathEnds[k - 1], pathEnds[k]), from 0 for k = 0
    int32_t pathCount;
    int closed;
};

enum OverlayRead {
    OVERLAY_WHOLE,   // every line read
    OVERLAY_BROKEN,  // read up to a line that does not fit; the message names it
    OVERLAY_ABSENT,  // the file cannot be opened (or read at all); the overlay is empty
};

// "Leak trace" or "Portals": the start of every message about the kind.
const char *OverlayTitle(OverlayKind kind);

// Reads n bytes of text (no terminator needed) as a file of the kind into
// *overlay, which it empties first. For BROKEN (and for ABSENT when out of
// memory) message holds "TITLE: line N: TEXT", else it is emptied.
OverlayRead ParseOverlay(OverlayKind kind, const char *text, size_t n, Overlay *overlay, char *message,
                         size_t capacity);
// Reads the file at path as ParseOverlay reads its bytes. A file that
// cannot be opened is ABSENT with "TITLE: can't open file: PATH", one too
// large or unreadable is ABSENT with its own message.
OverlayRead ReadOverlayFile(OverlayKind kind, const char *path, Overlay *overlay, char *message,
                            size_t capacity);
// Frees the tables and leaves the overlay empty.
void FreeOverlay(Overlay *overlay);

// The path of the file beside a level: levelPath with the ending of its
// last name (from its last '.', if the name has one) replaced by ending
// (".pts"). Returns 0 when it does not fit in capacity bytes.
int OverlayPathBeside(const char *levelPath, const char *ending, char *out, size_t capacity);

#endif
