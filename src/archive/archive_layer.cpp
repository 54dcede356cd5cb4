// archive_layer.cpp - the archive layer of korvitan and korvitan-cli: PAK
// files through the PAK reader, every other archive through libarchive,
// archives inside archives.
//
// A file is read by the PAK reader, unchanged, when its first bytes are
// "PACK", or when they are no archive's and its name does not say ZIP, 7z or
// RAR (so any file chosen through "Open .PAK ..." gets the PAK reader's
// messages). Any other archive goes through libarchive:
//
//   rows      every regular file whose name ends in ".bsp" (any case), in
//             the archive's own order, shown as its whole stored path
//   nesting   an entry whose name ends like an archive's is opened too, up
//             to MAX_NESTING archives below the file, and its rows take its
//             place as "ENTRY/ROW"; inside a PAK, at any depth, the PAK rule
//             holds (the entries under "maps/", nothing nested)
//   choosing  the chosen row's entry is inflated through the chain of
//             archives into memory, never to disk, and read as a level file
//             of its own (a PAK's entry at its position, as the PAK reader
//             reads it), with every rule and message of the level reader
//   limits    an entry declared or found larger than ENTRY_LIMIT, or that
//             inflates past its declared size, is refused; so is an
//             encrypted one. At any time memory holds at most the entries on
//             one chain.
//
// Every failure ends the load as the PAK reader's do: one message with the
// caption "Error" while the archive is still open, then the model released.
//
// Entries inside archives are recognised by name, not by their first bytes:
// listing reads only an archive's directory where the format has one, and
// looking into every entry would inflate the start of each. Once an entry
// is inflated, its first bytes decide how it is read.
#include <archive.h>
#include <archive_entry.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "archive/archive_layer.h"
#include "map/archive_kind.h"
#include "map/archive_reader.h"
#include "map/level_reader.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"
#include "shell/dialogs.h"
#include "system/memory_files.h"

namespace {

enum { MAX_NESTING = 3 };                   // archives opened below the file
const int64_t ENTRY_LIMIT = int64_t(1) << 30;  // 1 GiB inflated
const size_t GROWTH_START = size_t(1) << 16;   // an entry of unknown size starts here

// ---- Failures ----------------------------------------------------------------------

// The message of the failure that stopped the current load; it stays valid
// until the next load, as LastLoadResult() promises.
char failureText[512];
const char *failure;

void Fail(const char *text) {
    std::snprintf(failureText, sizeof failureText, "%s", text);
    failure = failureText;
}

// A container that cannot be read, with libarchive's own words for it.
void FailArchive(struct archive *a) {
    const char *why = a ? archive_error_string(a) : nullptr;
    std::snprintf(failureText, sizeof failureText, "Can't read archive! (%s)",
                  why && *why ? why : "unknown error");
    failure = failureText;
}

// A PAK inside another archive that the PAK reader would refuse, in its
// words.
void FailPak(const char *why) {
    std::snprintf(failureText, sizeof failureText, "Can't read archive! (%s)", why);
    failure = failureText;
}

// What the failure said; every way to fail says something, but a message
// box must never show nothing.
const char *FailureText(void) { return failure ? failure : "Can't read archive! (unknown error)"; }

const char TOO_LARGE[] = "Archive entry too large!";
const char ENCRYPTED[] = "Encrypted archive entry!";

// ---- Names as stored -----------------------------------------------------------------
// libarchive converts names to the charset of the thread's locale. Under a
// UTF-8 locale they arrive as stored: UTF-8 names as they are, names in no
// known encoding byte for byte. korvitan-cli runs in the C locale, where a
// name beyond ASCII would be lost, so archives are read under a UTF-8
// locale of the layer's own (or the program's, if the system has none),
// set on this thread only while libarchive reads, never while a dialog or
// message is up.

locale_t previousLocale;

void BeginStoredNames(void) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    previousLocale = utf8 ? uselocale(utf8) : locale_t(0);
}

void EndStoredNames(void) {
    if (previousLocale) uselocale(previousLocale);
    previousLocale = locale_t(0);
}

// ---- Blocks: inflated entries ----------------------------------------------------------

// A heap block (PlatAlloc) holding an inflated entry.
struct Block {
    uint8_t *bytes;
    size_t size;
};

void FreeBlock(Block *block) {
    PlatFree(block->bytes);
    *block = Block{nullptr, 0};
}

// ---- libarchive over the file layer ------------------------------------------------------
// The file is read through platform.h, so a block named as a file
// (memory_files.h) is an archive like any file on disk. Walking a ZIP's
// entries seeks to each local header and reads a few dozen bytes there, so
// the first read after a seek is small; reads that follow one another grow,
// so inflating a large entry takes few of them.

enum { FIRST_READ = 4096, LONGEST_READ = 262144 };

struct FileSource {
    PlatFile *file;
    int64_t position;
    uint32_t readSize;  // of the next read: FIRST_READ after a seek, then doubling
    uint8_t buffer[LONGEST_READ];
};

la_ssize_t ReadSource(struct archive *, void *data, const void **out) {
    FileSource *source = static_cast<FileSource *>(data);
    *out = source->buffer;
    if (!PlatSeekFile(source->file, source->position)) return 0;
    uint32_t got = PlatReadFile(source->file, source->buffer, source->readSize);
    source->position += got;
    if (source->readSize < LONGEST_READ) source->readSize *= 2;
    return la_ssize_t(got);
}

la_int64_t SeekSource(struct archive *, void *data, la_int64_t offset, int whence) {
    FileSource *source = static_cast<FileSource *>(data);
    int64_t size = PlatFileSize(source->file);
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? source->position : size;
    if (whence == SEEK_END && size < 0) return ARCHIVE_FATAL;
    int64_t to = base + offset;
    if (to < 0) return ARCHIVE_FATAL;
    if (to != source->position) source->readSize = FIRST_READ;
    source->position = to;
    return to;
}

la_int64_t SkipSource(struct archive *a, void *data, la_int64_t request) {
    FileSource *source = static_cast<FileSource *>(data);
    int64_t size = PlatFileSize(source->file);
    if (size < 0) return 0;  // not seekable: libarchive reads over it instead
    int64_t left = size > source->position ? size - source->position : 0;
    int64_t skip = request < left ? request : left;
    return SeekSource(a, data, skip, SEEK_CUR) < 0 ? 0 : skip;
}

// A reader of the kinds libarchive reads for us; the PAK is ours.
struct archive *NewReader(void) {
    struct archive *a = archive_read_new();
    if (!a) return nullptr;
    archive_read_support_format_zip(a);  // seekable (the central directory) and streamed
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    return a;
}

// Opens the archive in the file; null after Fail when it cannot be read.
struct archive *OpenFileArchive(FileSource *source) {
    struct archive *a = NewReader();
    if (!a) {
        Fail("Can't read archive! (out of memory)");
        return nullptr;
    }
    source->position = 0;
    source->readSize = FIRST_READ;
    archive_read_set_read_callback(a, ReadSource);
    archive_read_set_seek_callback(a, SeekSource);
    archive_read_set_skip_callback(a, SkipSource);
    archive_read_set_callback_data(a, source);
    if (archive_read_open1(a) != ARCHIVE_OK) {
        FailArchive(a);
        archive_read_free(a);
        return nullptr;
    }
    return a;
}

// Opens the archive held in a block; null after Fail.
struct archive *OpenBlockArchive(const Block &block) {
    struct archive *a = NewReader();
    if (!a) {
        Fail("Can't read archive! (out of memory)");
        return nullptr;
    }
    if (archive_read_open_memory(a, block.bytes, block.size) != ARCHIVE_OK) {
        FailArchive(a);
        archive_read_free(a);
        return nullptr;
    }
    return a;
}

// The next entry's header: 1, or 0 at the end, or -1 after Fail.
int NextEntry(struct archive *a, struct archive_entry **entry) {
    int status = archive_read_next_header(a, entry);
    if (status == ARCHIVE_EOF) return 0;
    if (status == ARCHIVE_OK || status == ARCHIVE_WARN) return 1;
    FailArchive(a);
    return -1;
}

int IsRegularFile(struct archive_entry *entry) { return archive_entry_filetype(entry) == AE_IFREG; }

// The entry's name as stored; never null.
const char *EntryName(struct archive_entry *entry) {
    const char *name = archive_entry_pathname(entry);
    return name ? name : "";
}

// ---- Inflating an entry into memory -------------------------------------------------------

// Reads up to n bytes of the entry's data: the bytes read, or -1 after
// Fail. An encrypted entry libarchive found out only now fails as one.
la_ssize_t ReadData(struct archive *a, struct archive_entry *entry, void *out, size_t n) {
    la_ssize_t got = archive_read_data(a, out, n);
    if (got >= 0) return got;
    if (archive_entry_is_encrypted(entry)) Fail(ENCRYPTED);
    else FailArchive(a);
    return -1;
}

// A first write to each page of a fresh block costs a page fault, and
// faults are dear (on a virtual machine most of all): a level of a few MB
// spent more time faulting its block in than inflating. So the pages are
// made present a stretch at a time, just ahead of the inflating, with one
// system call per stretch; never more than a stretch beyond the data, so a
// size that is declared but never filled costs nothing. Where the system
// cannot, the pages fault in as before.
enum { STRETCH = 1 << 20 };

void MakePresent(uint8_t *from, size_t n) {
#ifdef MADV_POPULATE_WRITE
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t start = (uintptr_t(from) + page - 1) & ~(page - 1);
    uintptr_t end = (uintptr_t(from) + n) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)from;
    (void)n;
#endif
}

// A block twice as large (at most the limit) holding the bytes so far; 0
// after Fail.
int GrowBlock(Block *block, size_t used, size_t *capacity) {
    size_t larger = *capacity * 2 < size_t(ENTRY_LIMIT) ? *capacity * 2 : size_t(ENTRY_LIMIT);
    uint8_t *bytes = static_cast<uint8_t *>(PlatAlloc(larger));
    if (!bytes) {
        Fail("Can't allocate memory (archive entry)");
        return 0;
    }
    std::memcpy(bytes, block->bytes, used);
    PlatFree(block->bytes);
    block->bytes = bytes;
    *capacity = larger;
    return 1;
}

// Inflates the current entry into a new block. An entry with a declared
// size gets a block of exactly that size, and one more byte is a bomb; one
// without grows its block up to the limit, and one more byte is too many.
// Returns 0 after Fail, with nothing held.
int InflateEntry(struct archive *a, struct archive_entry *entry, Block *out) {
    *out = Block{nullptr, 0};
    if (archive_entry_is_encrypted(entry)) {
        Fail(ENCRYPTED);
        return 0;
    }
    int declared = archive_entry_size_is_set(entry);
    int64_t size = declared ? archive_entry_size(entry) : int64_t(GROWTH_START);
    if (size < 0 || size > ENTRY_LIMIT) {
        Fail(TOO_LARGE);
        return 0;
    }
    size_t capacity = size_t(size);
    Block block = {static_cast<uint8_t *>(PlatAlloc(capacity)), 0};
    if (!block.bytes) {
        Fail("Can't allocate memory (archive entry)");
        return 0;
    }
    for (;;) {
        if (block.size == capacity) {
            if (declared || int64_t(capacity) == ENTRY_LIMIT) {
                uint8_t beyond;
                la_ssize_t more = ReadData(a, entry, &beyond, 1);
                if (more == 0) break;
                if (more > 0) Fail(TOO_LARGE);
                FreeBlock(&block);
                return 0;
            }
            if (!GrowBlock(&block, block.size, &capacity)) {
                FreeBlock(&block);
                return 0;
            }
        }
        size_t stretch = capacity - block.size < STRETCH ? capacity - block.size : size_t(STRETCH);
        MakePresent(block.bytes + block.size, stretch);
        la_ssize_t got = ReadData(a, entry, block.bytes + block.size, stretch);
        if (got < 0) {
            FreeBlock(&block);
            return 0;
        }
        if (got == 0) break;
        block.size += size_t(got);
    }
    *out = block;
    return 1;
}

// ---- A PAK inside another archive --------------------------------------------------------
// Read as the PAK reader reads a file: the header, then the directory,
// which must lie inside the block. Records are copied out, since the
// directory may lie anywhere in the block, aligned or not.

int PakDirectory(const Block &block, int64_t *dirOffset, int32_t *count) {
    PakHdr header;
    if (block.size < sizeof header) {
        FailPak("Error Reading PakHdr");
        return 0;
    }
    std::memcpy(&header, block.bytes, sizeof header);
    if (std::memcmp(header.magic, "PACK", 4) != 0) {
        FailPak("File is not a .PAK file");
        return 0;
    }
    int64_t offset = header.dirOffset, length = header.dirLength;
    if (offset < 0 || offset > int64_t(block.size) || length > int64_t(block.size) - offset) {
        FailPak("Error Reading DirList");
        return 0;
    }
    *dirOffset = offset;
    *count = int32_t(uint32_t(length) >> DIR_ENTRY_SIZE_SHIFT);
    return 1;
}

DirEntry PakEntry(const Block &block, int64_t dirOffset, int32_t i) {
    DirEntry entry;
    std::memcpy(&entry, block.bytes + dirOffset + int64_t(i) * int64_t(sizeof entry), sizeof entry);
    return entry;
}

// Whether an inflated entry is read as a PAK: its first bytes say so, or
// they say nothing and its name does.
int IsPakBlock(const Block &block, const char *name) {
    ArchiveKind kind = ArchiveKindOfBytes(block.bytes, block.size);
    return kind == ARCHIVE_PAK || (kind == ARCHIVE_NONE && HasPakEnding(name));
}

// ---- Rows -----------------------------------------------------------------------------------

// One row of the map list and the way to its entry: the index of the entry
// in each archive of the chain, the file's archive first.
struct Row {
    std::string text;
    std::vector<uint32_t> chain;
};

std::vector<Row> rows;
std::vector<const char *> rowTexts;  // what the map list shows

int ListArchive(struct archive *a, int depth, const std::string &prefix, std::vector<uint32_t> &chain);

int ListPak(const Block &block, const std::string &prefix, std::vector<uint32_t> &chain) {
    int64_t dirOffset;
    int32_t count;
    if (!PakDirectory(block, &dirOffset, &count)) return 0;
    for (int32_t i = 0; i < count; i++) {
        DirEntry entry = PakEntry(block, dirOffset, i);
        if (!IsListedMapEntry(&entry)) continue;
        char name[DIR_NAME_SIZE];
        CopyDirEntryName(&entry, name);
        chain.push_back(uint32_t(i));
        rows.push_back(Row{prefix + name, chain});
        chain.pop_back();
    }
    return 1;
}

// Lists the rows of an archive that an entry holds, inflated into block.
int ListNested(const Block &block, const char *name, int depth, const std::string &prefix,
               std::vector<uint32_t> &chain) {
    if (IsPakBlock(block, name)) return ListPak(block, prefix, chain);
    struct archive *a = OpenBlockArchive(block);
    if (!a) return 0;
    int listed = ListArchive(a, depth, prefix, chain);
    archive_read_free(a);
    return listed;
}

int EndsWithBsp(const char *name) {
    size_t n = std::strlen(name);
    if (n < 4) return 0;
    const char *end = name + n - 4;
    return end[0] == '.' && (end[1] | 0x20) == 'b' && (end[2] | 0x20) == 's' && (end[3] | 0x20) == 'p';
}

// Lists the rows of an archive `depth` archives below the file (0: the file
// itself), each row's text after prefix. Returns 0 after Fail.
int ListArchive(struct archive *a, int depth, const std::string &prefix, std::vector<uint32_t> &chain) {
    struct archive_entry *entry;
    int status;
    for (uint32_t index = 0; (status = NextEntry(a, &entry)) == 1; index++) {
        if (!IsRegularFile(entry)) continue;
        std::string name = EntryName(entry);
        chain.push_back(index);
        if (EndsWithBsp(name.c_str())) {
            rows.push_back(Row{prefix + name, chain});
        } else if (depth < MAX_NESTING && HasArchiveEnding(name.c_str())) {
            Block block;
            if (!InflateEntry(a, entry, &block)) return 0;
            int listed = ListNested(block, name.c_str(), depth + 1, prefix + name + "/", chain);
            FreeBlock(&block);
            if (!listed) return 0;
        }
        chain.pop_back();
    }
    return status == 0;
}

// ---- The chosen row -------------------------------------------------------------------------

// Moves to the entry at index; 0 after Fail.
int FindEntry(struct archive *a, uint32_t index, struct archive_entry **entry) {
    for (uint32_t i = 0;; i++) {
        int status = NextEntry(a, entry);
        if (status < 0) return 0;
        if (status == 0) {
            Fail("Can't read archive! (the entry is gone: the archive changed while it was open)");
            return 0;
        }
        if (i == index) return 1;
    }
}

// Inflates entry `index` of an open archive; 0 after Fail.
int InflateAt(struct archive *a, uint32_t index, Block *out, std::string *name) {
    struct archive_entry *entry;
    if (!FindEntry(a, index, &entry)) return 0;
    *name = EntryName(entry);
    return InflateEntry(a, entry, out);
}

// Inflates the row's level along its chain into *level, whose base is where
// the level starts: 0, or a PAK entry's position in the PAK that *level
// then holds whole. Each archive's block is let go once the next entry is
// out of it. Returns 0 after Fail, with nothing held.
int InflateRow(FileSource *source, const Row &row, Block *level, int32_t *base) {
    struct archive *a = OpenFileArchive(source);
    if (!a) return 0;
    std::string name;
    Block block;
    int ok = InflateAt(a, row.chain[0], &block, &name);
    archive_read_free(a);
    for (size_t k = 1; ok && k < row.chain.size(); k++) {
        if (IsPakBlock(block, name.c_str())) {  // a PAK's rows are its own entries
            int64_t dirOffset;
            int32_t count;
            ok = PakDirectory(block, &dirOffset, &count) && int32_t(row.chain[k]) < count;
            if (ok) {
                *level = block;
                *base = PakEntry(block, dirOffset, int32_t(row.chain[k])).filePos;
                return 1;
            }
            if (!failure) FailPak("Error Reading DirList");
            break;
        }
        Block outer = block;
        a = OpenBlockArchive(outer);
        ok = a && InflateAt(a, row.chain[k], &block, &name);
        if (a) archive_read_free(a);
        FreeBlock(&outer);
        if (!ok) block = Block{nullptr, 0};
    }
    if (!ok) {
        FreeBlock(&block);
        return 0;
    }
    *level = block;
    *base = 0;
    return 1;
}

// ---- The load -------------------------------------------------------------------------------

// The rows of the archive in MapData.file; 0 after Fail.
int ListRows(FileSource *source) {
    rows.clear();
    BeginStoredNames();
    struct archive *a = OpenFileArchive(source);
    std::vector<uint32_t> chain;
    int listed = a && ListArchive(a, 0, "", chain);
    if (a) archive_read_free(a);
    EndStoredNames();
    return listed;
}

// The row the last load chose (ChosenArchiveRow).
std::string chosenRow;

// Runs the map list over the rows; the chosen row, or null.
const Row *ChooseRow(PlatWindow *window) {
    rowTexts.clear();
    for (const Row &row : rows) rowTexts.push_back(row.text.c_str());
    MapListRows = rowTexts.data();
    MapListRowCount = int32_t(rowTexts.size());
    PlatRunMapSelectDialog(window);
    MapListRows = nullptr;
    MapListRowCount = 0;
    if (selectedMapRow < 0 || size_t(selectedMapRow) >= rows.size()) return nullptr;
    return &rows[size_t(selectedMapRow)];
}

int32_t LoadOtherArchive(PlatWindow *window) {
    FreeMapData();
    MapData.file = PlatOpenFile(fileName);
    if (!MapData.file) {
        ReportLoadFailure(window, fileName, "Can't open file:");
        return 0;
    }
    static FileSource source;
    source.file = MapData.file;
    failure = nullptr;
    if (!ListRows(&source)) {
        rows.clear();
        ReportThenRelease(window, FailureText());
        return 0;
    }
    const Row *row = ChooseRow(window);
    if (!row) {
        CloseMapFile();  // no map chosen
        rows.clear();
        EndLoad(LOAD_NO_MAP);
        return 0;
    }
    std::string text = row->text;
    chosenRow = text;
    SetLevelTitle(window, text.c_str());
    Block level;
    int32_t base;
    BeginStoredNames();
    int inflated = InflateRow(&source, *row, &level, &base);
    EndStoredNames();
    rows.clear();
    if (!inflated) {
        ReportThenRelease(window, FailureText());
        return 0;
    }
    CloseMapFile();
    MapData.file = OpenMemoryFile(level.bytes, level.size);
    if (!MapData.file) {
        ReportThenRelease(window, "Can't allocate memory (archive entry)");
        return 0;
    }
    return ReadLevelAt(window, base, text.c_str());
}

// Whether the file goes to the PAK reader (see the top of this file).
int IsPakFile(const char *path) {
    ArchiveKind kind = ArchiveKindOfFile(path);
    return kind == ARCHIVE_PAK || (kind == ARCHIVE_NONE && (!HasArchiveEnding(path) || HasPakEnding(path)));
}

}  // namespace

void PrepareArchiveReading(void) {
    if (!std::getenv("TZ")) setenv("TZ", ":/etc/localtime", 0);
}

int32_t LoadArchiveFile(PlatWindow *window) {
    chosenRow.clear();
    if (!IsPakFile(fileName)) return LoadOtherArchive(window);
    int32_t loaded = LoadPakFile(window);
    if (selectedMapName[0]) chosenRow = selectedMapName;
    return loaded;
}

const char *ChosenArchiveRow(void) { return chosenRow.c_str(); }

const char *ArchiveOpenFilter(void) {
    return "Archives\0*.pak;*.pk3;*.pk4;*.zip;*.7z;*.rar\0All files\0*\0";
}
