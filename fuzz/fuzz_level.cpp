// fuzz_level.cpp - libFuzzer target: any bytes as a standalone level file.
//
// The input is written to a real file and loaded with LoadBspFile; every
// load that succeeds is drawn in all six views (see fuzz_support.h).
#include "fuzz_support.h"
#include "hostile_files.h"
#include "map/level_reader.h"
#include "support/recording_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReset();
    FuzzChooseInput(data, size);
    int32_t loaded = LoadBspFile(RecordingWindow());
    if (loaded) FuzzExerciseViews();
    // The vertex and edge tables, or what a level that stores surfaces
    // makes of its own.
    AllocationBound bound = LoadAllocationBound(size, false, LastLevelStoresSurfaces());
    FuzzCheckLoadAndReleaseWithin(loaded, bound.largest, bound.total);
    return 0;
}
