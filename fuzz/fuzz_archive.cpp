// fuzz_archive.cpp - libFuzzer target: any bytes as an archive file.
//
// The input is written to a real file and loaded with LoadPakFile. The map
// list is answered from the input's last byte (MapChoiceFromLastByte), so
// the fuzzer explores every row, OK without a row, and Cancel. Every load
// that succeeds is drawn in all six views.
#include "fuzz_support.h"
#include "hostile_files.h"
#include "map/level_reader.h"
#include "map/archive_reader.h"
#include "support/recording_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReset();
    MapChoice choice = MapChoiceFromLastByte(size ? data[size - 1] : 0);
    recording.chooseRow = choice.row;
    recording.okWithoutRow = choice.okWithoutRow;
    FuzzChooseInput(data, size);
    int32_t loaded = LoadPakFile(RecordingWindow());
    if (loaded) FuzzExerciseViews();
    // The directory and the level's tables (or what a level that stores
    // surfaces makes of its own).
    AllocationBound bound = LoadAllocationBound(size, true, LastLevelStoresSurfaces());
    FuzzCheckLoadAndReleaseWithin(loaded, bound.largest, bound.total);
    return 0;
}
