// Hostile files: every case of the fuzzers' seed corpus ends the way it is
// named for, no load allocates more than the file can justify, and loading
// and releasing again and again leaves nothing behind.
//
// The memory bound these tests hold the readers to: every table (the
// directory, the vertex table, the edge table) is checked to lie inside the
// file before it is allocated, so no single allocation exceeds the file's
// size, and a load allocates at most one block per table it reads. Tables
// may overlap, so the total is at most 2 x the file for a level and 3 x the
// file for an archive, and both are reached (see the Overlapping... tests);
// a file whose tables do not overlap allocates at most its own size. A
// level that stores surfaces makes its edges and may take up to 6 x the
// file, no block beyond 3 x (LoadAllocationBound).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "hostile_files.h"
#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/model.h"
#include "tools/level_writer.h"
#include "support/recording_backend.h"
#include "support/temp_files.h"

namespace {

enum Kind { LEVEL, ARCHIVE };

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override { ResetRecording(); }
    void TearDown() override { FreeMapData(); }

    // Writes the file and loads it as the given kind. An archive's map list
    // is answered from its last byte, as the fuzzer answers it.
    int32_t Load(Kind kind, const Bytes &bytes) {
        ChooseFile(WriteTempFile(kind == LEVEL ? "hostile.bsp" : "hostile.pak", bytes));
        if (kind == LEVEL) return LoadBspFile(RecordingWindow());
        MapChoice choice = MapChoiceFromLastByte(bytes.empty() ? 0 : bytes.back());
        recording.chooseRow = choice.row;
        recording.okWithoutRow = choice.okWithoutRow;
        return LoadPakFile(RecordingWindow());
    }

    // The bound of the header comment and the file closed however the load
    // ended; then release and check that nothing is left.
    void ExpectBoundedAndReleased(Kind kind, const Bytes &bytes) {
        EXPECT_EQ(MapData.file, nullptr);
        AllocationBound bound = LoadAllocationBound(bytes.size(), kind == ARCHIVE, LastLevelStoresSurfaces());
        EXPECT_LE(recording.largestRequest, bound.largest);
        EXPECT_LE(recording.bytesAllocated, bound.total);
        FreeMapData();
        EXPECT_EQ(recording.liveBlocks, 0);
    }

    void ExpectCatalogue(Kind kind, const std::vector<HostileFile> &files) {
        for (const HostileFile &f : files) {
            SCOPED_TRACE(f.name);
            ResetRecording();
            EXPECT_EQ(Load(kind, f.bytes), f.loads ? 1 : 0);
            if (f.message.empty()) {
                EXPECT_TRUE(recording.messages.empty()) << recording.messages[0].text;
            } else {
                ASSERT_EQ(recording.messages.size(), 1u);
                EXPECT_EQ(recording.messages[0].text, f.message);
                EXPECT_TRUE(recording.messages[0].modelWhole) << "a count stood without its table";
            }
            ExpectBoundedAndReleased(kind, f.bytes);
        }
    }
};

// ---- The seed corpus reaches what it is named for ---------------------------------

TEST_F(HostileFiles, EachLevelCaseEndsAsNamed) { ExpectCatalogue(LEVEL, HostileLevels()); }

TEST_F(HostileFiles, EachArchiveCaseEndsAsNamed) { ExpectCatalogue(ARCHIVE, HostileArchives()); }

TEST_F(HostileFiles, EveryViewInputBecomesALevelThatLoadsWhole) {
    for (const HostileFile &f : HostileViewInputs()) {
        SCOPED_TRACE(f.name);
        ResetRecording();
        Bytes level = LevelFromViewInput(f.bytes.data(), f.bytes.size());
        ASSERT_EQ(Load(LEVEL, level), 1);
        EXPECT_EQ(MapData.vertexCount, f.bytes[0] & 0x7F);
        EXPECT_EQ(MapData.edgeIndexSize, f.bytes[0] & 0x80 ? 4 : 2);
        EXPECT_EQ(recording.bytesAllocated, level.size() - LEVEL_HEADER_SIZE)
            << "a level laid out by the writer allocates its tables and nothing more";
    }
}

TEST_F(HostileFiles, ViewInputsShorterThanTheirCountKeepWhatIsThere) {
    // 100 vertices asked for, 2 and a half given, then nothing for edges.
    Bytes input(1 + 30, 0);
    input[0] = 100;
    Bytes level = LevelFromViewInput(input.data(), input.size());
    ASSERT_EQ(Load(LEVEL, level), 1);
    EXPECT_EQ(MapData.vertexCount, 2);
    EXPECT_EQ(MapData.edgeCount, 1) << "the last 6 bytes hold one whole edge";
    EXPECT_EQ(LevelFromViewInput(nullptr, 0).size(), size_t(LEVEL_HEADER_SIZE));
}

// ---- What a load may allocate ------------------------------------------------------

// Headers of the seed files with their fields set to the values that break
// bounds checks: around 0, around the file's size, the 32-bit limits.
class FieldMutator {
public:
    explicit FieldMutator(uint32_t seed) : random(seed) {}

    Bytes Mutate(Bytes bytes, const std::vector<size_t> &fields) {
        int changes = 1 + int(random() % 3);
        for (int i = 0; i < changes && bytes.size() >= 4; i++) {
            size_t at = random() % 2 && !fields.empty() ? fields[random() % fields.size()]
                                                        : random() % (bytes.size() - 3);
            if (at + 4 > bytes.size()) continue;
            PutU32(bytes, at, Interesting(uint32_t(bytes.size())));
        }
        if (random() % 8 == 0) bytes.resize(random() % (bytes.size() + 1));
        return bytes;
    }

private:
    uint32_t Interesting(uint32_t size) {
        const uint32_t values[] = {0,           1,          4,           11,          12,
                                   28,          64,         100,         123,         124,
                                   size - 1,    size,       size + 1,    size - 124,  0u - 1,
                                   0u - 12,     0u - 124,   0x7FFFFFFFu, 0x80000000u, 0x7FFFFFF0u,
                                   0xFFFFFFF0u, 0xFFFFFFFCu, uint32_t(random()),
                                   // the identifying bytes and versions of the variants
                                   0x32505342u, 0x42535032u, 0x50534249u, 0x50534256u,
                                   38,          19,         21,          160,         1036,
                                   // and of the layouts that store surfaces
                                   0x50534252u, 46,         47,          1,           144,
                                   152,         44,         80,          104,         148};
        return values[random() % (sizeof values / sizeof values[0])];
    }

    std::mt19937 random;
};

// The header fields of a level at base, in every variant of the header:
// identifying bytes, version, the table lumps and their codes.
void AddLevelFields(std::vector<size_t> &fields, size_t base) {
    for (const LevelVariantLayout &layout : LEVEL_VARIANTS) {
        for (size_t at : {size_t(0), size_t(layout.versionAt), size_t(layout.vertexLumpAt),
                          size_t(layout.vertexLumpAt + 4), size_t(layout.edgeLumpAt),
                          size_t(layout.edgeLumpAt + 4)})
            fields.push_back(base + at);
        if (layout.lumpSize == 16) {
            fields.push_back(base + layout.vertexLumpAt + 12);
            fields.push_back(base + layout.edgeLumpAt + 12);
        }
    }
    for (const SurfaceVariantLayout &layout : SURFACE_VARIANTS)
        for (uint32_t lump : {layout.drawVerticesAt, layout.indicesAt, layout.surfacesAt}) {
            fields.push_back(base + lump);
            fields.push_back(base + lump + 4);
        }
}

// An archive's header fields, each directory entry's position and the
// header fields of the level each entry points at.
std::vector<size_t> ArchiveFields(const Bytes &bytes) {
    std::vector<size_t> fields = {PAK_DIR_OFFSET_AT, PAK_DIR_LENGTH_AT};
    if (bytes.size() < PAK_HEADER_SIZE) return fields;
    int64_t dir = GetI32(bytes, PAK_DIR_OFFSET_AT);
    uint32_t length = uint32_t(GetI32(bytes, PAK_DIR_LENGTH_AT));
    for (int64_t at = dir; dir >= 0 && at + 64 <= dir + length && at + 64 <= int64_t(bytes.size()); at += 64) {
        fields.push_back(size_t(at) + DIR_NAME_SIZE);
        int32_t base = GetI32(bytes, size_t(at) + DIR_NAME_SIZE);
        if (base >= 0 && size_t(base) + LEVEL_HEADER_SIZE <= bytes.size()) AddLevelFields(fields, size_t(base));
    }
    return fields;
}

TEST_F(HostileFiles, NoLoadAllocatesMoreThanTheFileJustifies) {
    FieldMutator mutator(20240601);
    std::vector<size_t> levelFields;
    AddLevelFields(levelFields, 0);
    for (int round = 0; round < 60 && !HasFatalFailure(); round++) {
        for (const HostileFile &f : HostileLevels()) {
            SCOPED_TRACE("level " + f.name + " round " + std::to_string(round));
            ResetRecording();
            Bytes bytes = mutator.Mutate(f.bytes, levelFields);
            int32_t loaded = Load(LEVEL, bytes);
            ASSERT_TRUE(loaded == 0 || loaded == 1);
            ASSERT_LE(recording.messages.size(), 1u);
            ExpectBoundedAndReleased(LEVEL, bytes);
        }
        for (const HostileFile &f : HostileArchives()) {
            SCOPED_TRACE("archive " + f.name + " round " + std::to_string(round));
            ResetRecording();
            Bytes bytes = mutator.Mutate(f.bytes, ArchiveFields(f.bytes));
            int32_t loaded = Load(ARCHIVE, bytes);
            ASSERT_TRUE(loaded == 0 || loaded == 1);
            ASSERT_LE(recording.messages.size(), 1u);
            ExpectBoundedAndReleased(ARCHIVE, bytes);
        }
    }
}

TEST_F(HostileFiles, HugeClaimsInTinyFilesAllocateNothing) {
    // Every length at its largest, every offset at the start of the file.
    Bytes level = LevelBytes({}, {});
    for (int lump = 0; lump < BSP_LUMP_COUNT; lump++) {
        PutI32(level, 4 + 8 * lump, 0);
        PutU32(level, 8 + 8 * lump, 0xFFFFFFFFu);
    }
    EXPECT_EQ(Load(LEVEL, level), 0);
    EXPECT_EQ(recording.allocations, 0);

    ResetRecording();
    Bytes archive = ArchiveBytes({});
    PutU32(archive, PAK_DIR_OFFSET_AT, 0);
    PutU32(archive, PAK_DIR_LENGTH_AT, 0xFFFFFFC0u);
    EXPECT_EQ(Load(ARCHIVE, archive), 0);
    EXPECT_EQ(recording.allocations, 0);
}

// Two tables over the same bytes are two blocks: a level reaches twice its
// size when both tables cover the whole file.
TEST_F(HostileFiles, OverlappingLevelTablesReadTheFileTwice) {
    Bytes bytes = LevelBytes({{1, 2, 3}}, {{0, 0}});
    for (size_t at : {size_t(LEVEL_VERTEX_OFFSET_AT), size_t(LEVEL_EDGE_OFFSET_AT)}) {
        PutI32(bytes, at, 0);
        PutU32(bytes, at + 4, uint32_t(bytes.size()));
    }
    ASSERT_EQ(Load(LEVEL, bytes), 1);
    EXPECT_EQ(recording.largestRequest, bytes.size());
    EXPECT_EQ(recording.bytesAllocated, 2 * bytes.size());
    EXPECT_EQ(MapData.vertexCount, int32_t(bytes.size() / sizeof(Vertex)));
}

// An archive of 256 bytes whose directory is the whole file and whose one
// map's vertex and edge tables are the whole file too: the level lies
// inside directory entry 1, its version being the name's "maps".
TEST_F(HostileFiles, OverlappingArchiveTablesReadTheFileThreeTimes) {
    const size_t size = 256, base = 64;
    Bytes bytes(size, 0);
    std::memcpy(bytes.data(), "PACK", 4);
    PutI32(bytes, PAK_DIR_OFFSET_AT, 0);
    PutU32(bytes, PAK_DIR_LENGTH_AT, uint32_t(size));
    std::memcpy(&bytes[base], "maps/all", 8);
    PutI32(bytes, base + DIR_NAME_SIZE, int32_t(base));
    for (size_t at : {size_t(LEVEL_VERTEX_OFFSET_AT), size_t(LEVEL_EDGE_OFFSET_AT)}) {
        PutI32(bytes, base + at, -int32_t(base));
        PutU32(bytes, base + at + 4, uint32_t(size));
    }
    ASSERT_EQ(Load(ARCHIVE, bytes), 1);
    EXPECT_EQ(recording.offeredRows, std::vector<std::string>{"maps/all"});
    EXPECT_EQ(LastLevelVersion(), 0x7370616d) << "\"maps\" read as a version";
    EXPECT_EQ(recording.largestRequest, size);
    EXPECT_EQ(recording.bytesAllocated, 3 * size);
}

// ---- Loading and releasing, again and again ------------------------------------------

// Each cycle loads every level and archive case once, through every way a
// load can end, and releases the model. Nothing may be left after a cycle
// (no block, no open file) and no cycle may cost more than the first.
TEST_F(HostileFiles, AThousandLoadsAndReleasesLeaveNothingBehind) {
    std::vector<HostileFile> levels = HostileLevels(), archives = HostileArchives();
    const HostileFile *level = &levels[0], *archive = &archives[0];
    ASSERT_TRUE(level->loads && archive->loads);
    std::string levelPath = WriteTempFile("cycle.bsp", level->bytes);
    std::string archivePath = WriteTempFile("cycle.pak", archive->bytes);
    int descriptors = OpenDescriptorCount();

    uint64_t firstCycleBytes = 0;
    int firstCycleAllocations = 0;
    for (int cycle = 0; cycle < 1000; cycle++) {
        recording.bytesAllocated = 0;
        recording.allocations = 0;
        ChooseFile(levelPath);
        ASSERT_EQ(LoadBspFile(RecordingWindow()), 1);
        FreeMapData();
        ChooseFile(archivePath);
        recording.chooseRow = 1;
        ASSERT_EQ(LoadPakFile(RecordingWindow()), 1);
        FreeMapData();
        ASSERT_EQ(recording.liveBlocks, 0) << "cycle " << cycle;
        ASSERT_EQ(OpenDescriptorCount(), descriptors) << "cycle " << cycle;
        if (cycle == 0) {
            firstCycleBytes = recording.bytesAllocated;
            firstCycleAllocations = recording.allocations;
        }
        ASSERT_EQ(recording.bytesAllocated, firstCycleBytes) << "cycle " << cycle;
        ASSERT_EQ(recording.allocations, firstCycleAllocations) << "cycle " << cycle;
        recording.messages.clear();
        recording.events.clear();
        recording.titles.clear();
    }
    EXPECT_EQ(firstCycleAllocations, 2 + 3);
    EXPECT_TRUE(recording.messages.empty());
}

TEST_F(HostileFiles, EveryWayALoadEndsClosesItsFileAndFreesItsBlocks) {
    int descriptors = OpenDescriptorCount();
    for (int cycle = 0; cycle < 20; cycle++) {
        for (Kind kind : {LEVEL, ARCHIVE}) {
            for (const HostileFile &f : kind == LEVEL ? HostileLevels() : HostileArchives()) {
                ResetRecording();
                Load(kind, f.bytes);
                ASSERT_EQ(MapData.file, nullptr) << f.name;
                FreeMapData();
                ASSERT_EQ(recording.liveBlocks, 0) << f.name;
                ASSERT_EQ(OpenDescriptorCount(), descriptors) << f.name;
            }
        }
    }
    // A file that cannot be opened leaves no descriptor either.
    ChooseFile(MissingTempPath("gone.bsp"));
    EXPECT_EQ(LoadBspFile(RecordingWindow()), 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

}  // namespace
