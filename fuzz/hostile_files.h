// hostile_files.h - levels and archives our writer makes to attack the
// readers: the seed corpus of the fuzzers and the cases of the unit tests
// that bound what a load may allocate.
//
// Every file is named and says how its load must end, so a test can prove
// that each case really reaches the failure it is named after, and
// make_seeds can write the same bytes as fuzzing seeds.
//
// An archive's last byte also answers the map list when the fuzzer loads
// it (see MapChoice). In a file our writer makes, that byte is the high
// byte of the last entry's length, which the readers never look at, so the
// answer can be set without changing what the readers see.
#ifndef KORVITAN_FUZZ_HOSTILE_FILES_H
#define KORVITAN_FUZZ_HOSTILE_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/level_writer.h"

struct HostileFile {
    std::string name;     // a file name: letters, digits and '-'
    Bytes bytes;
    bool loads;           // the load returns 1
    std::string message;  // the one message box it shows; "" for none
};

// Standalone levels, for LoadBspFile.
std::vector<HostileFile> HostileLevels(void);
// Archives, for LoadPakFile, each with its map list answer in its last byte.
std::vector<HostileFile> HostileArchives(void);
// Inputs of the views fuzzer (see LevelFromViewInput); each loads.
std::vector<HostileFile> HostileViewInputs(void);

// Inputs of the overlay fuzzer: byte 0 chooses the kind (even: a leak
// trace, odd: a portal file), the rest is the file's text. `loads` says the
// whole text is read; `message` is the one the reader gives, if any.
std::vector<HostileFile> HostileOverlayInputs(void);

// What a load of a file of fileSize bytes may allocate: no block larger
// than largest, no more than total in all. Every table lies inside the file,
// so a level with an edge table takes at most the file's size for each of
// its two tables; a level that stores surfaces takes at most 6 times the
// file, no block more than 3 times (surface_level.cpp says why); an
// archive's directory adds the file's size. Whether the level stored
// surfaces the reader tells (LastLevelStoresSurfaces).
struct AllocationBound {
    uint64_t largest, total;
};
AllocationBound LoadAllocationBound(size_t fileSize, bool archive, bool surfaces);

// How the map list is answered for an archive whose last byte is `last`:
// row = last & 0x7F is selected when the list has that many rows; when it
// has not, the bit 0x80 presses OK with no row selected, else Cancel.
struct MapChoice {
    int row;
    bool okWithoutRow;
};
MapChoice MapChoiceFromLastByte(uint8_t last);
// Sets the last byte of an archive to pick `row` (or, with okWithoutRow, to
// press OK without a row when the list is shorter).
void SetMapChoice(Bytes &archive, int row, bool okWithoutRow = false);

// The views fuzzer's input as a level that always loads: byte 0 holds the
// number of vertices wanted in its low 7 bits (as many as the rest holds,
// at most 127) and in its top bit the edge width, then come 12 bytes per
// vertex, then 4 bytes per edge (two 16-bit indices, the original layout)
// or, with the top bit set, 8 (two 32-bit indices, the "BSP2" variant); a
// trailing partial record is dropped.
Bytes LevelFromViewInput(const uint8_t *data, size_t size);

#endif
