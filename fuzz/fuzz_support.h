// fuzz_support.h - what the fuzz targets share: the input as a real file,
// the checks every load must pass, and the six views drawn at a few sizes.
//
// The targets run the engine exactly as the unit tests do: the POSIX file
// layer on a temporary file, the recording backend for the window, its
// counting allocator for memory. A broken promise aborts, which libFuzzer
// reports as a crash with the input that caused it.
#ifndef KORVITAN_FUZZ_SUPPORT_H
#define KORVITAN_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>

// Aborts with the failed condition's text when cond is false.
#define FUZZ_CHECK(cond) ((cond) ? (void)0 : FuzzFail(#cond, __FILE__, __LINE__))
[[noreturn]] void FuzzFail(const char *what, const char *file, int line);

// Empties the model and the recording and stops recording drawing calls (a
// paint would otherwise grow a list per segment).
void FuzzReset(void);

// Writes the bytes to this process's temporary file and chooses it, as the
// open-file dialog would.
void FuzzChooseInput(const uint8_t *data, size_t size);

// Checks what a load that returned `loaded` left behind, then releases the
// model and checks that nothing is left: no block, no open file.
//   - at most one message box;
//   - no single allocation larger than the file, and no more in total than
//     tablesRead times the file (each table lies inside the file, but two
//     tables may be read from the same bytes);
//   - a failed load holds no level tables and no open file.
void FuzzCheckLoadAndRelease(int32_t loaded, size_t fileSize, int tablesRead);
// The same with the bounds given outright: no single allocation larger
// than largest, none more in total than total.
void FuzzCheckLoadAndReleaseWithin(int32_t loaded, uint64_t largest, uint64_t total);

// Computes the extent and every segment of the six views at several client
// sizes (0 and 1 pixel included), draws them through the recording backend
// and rasterizes them into canvases of exactly those sizes, checking:
//   - nothing is drawn when an extent is 0;
//   - a segment whose start pixel is on the canvas and whose end pixel
//     differs lights that start pixel, however far away its end lies;
//   - zoomed parts drawn with only the segments the culling index gives
//     light the pixels of every segment drawn.
void FuzzExerciseViews(void);

#endif
