// fuzz_views.cpp - libFuzzer target: any vertices and edges in all six views.
//
// The input becomes a level our writer lays out (LevelFromViewInput), so
// every input loads and the fuzzer spends its time on the numbers: not a
// number, infinities, the 32-bit limits, edges naming missing vertices
// with 16-bit or 32-bit indices.
// The level goes through the real file layer and LoadBspFile like any
// other, and a writer-made level that fails to load is itself a fault.
#include "fuzz_support.h"
#include "hostile_files.h"
#include "map/level_reader.h"
#include "support/recording_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReset();
    Bytes level = LevelFromViewInput(data, size);
    FuzzChooseInput(level.data(), level.size());
    int32_t loaded = LoadBspFile(RecordingWindow());
    FUZZ_CHECK(loaded == 1);
    FuzzExerciseViews();
    FuzzCheckLoadAndRelease(loaded, level.size(), 1);  // writer levels never overlap tables
    return 0;
}
