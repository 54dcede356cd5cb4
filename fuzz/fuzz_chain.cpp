// fuzz_chain.cpp - libFuzzer target: any bytes as an archive of any kind,
// read by the archive layer of the Linux programs (PAK, ZIP, 7z, RAR, and
// archives inside them, through libarchive).
//
// The input's first byte answers the map list (as MapChoiceFromLastByte
// reads a byte), the rest is the file, known by its first bytes. Every load
// that succeeds is drawn in all six views. The seeds are the archives the
// archive layer's tests load, made by real tools (KORVITAN_SAVE_ARCHIVES).
#include "fuzz_support.h"
#include "hostile_files.h"
#include "map/archive_kind.h"
#include "support/recording_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReset();
    MapChoice choice = MapChoiceFromLastByte(size ? data[0] : 0);
    recording.chooseRow = choice.row;
    recording.okWithoutRow = choice.okWithoutRow;
    FuzzChooseInput(size ? data + 1 : data, size ? size - 1 : 0);
    int32_t loaded = LoadArchiveFile(RecordingWindow());
    if (loaded) FuzzExerciseViews();
    // An entry is inflated into one block of at most 1 GiB; what the
    // archive holds inflated may be far more than its own size.
    FuzzCheckLoadAndReleaseWithin(loaded, uint64_t(1) << 30, UINT64_MAX);
    return 0;
}
