// archive_tools.h - archives made by real tools, for the tests of the
// archive layer: Python's zipfile (tests/support/archive_tool.py), Info-ZIP's
// zip and 7-Zip's 7z. The entries are written as files into a private
// folder and handed to the tool in their order, so the archive holds the
// very bytes the test wrote, with the tool's own layout.
#ifndef KORVITAN_ARCHIVE_TOOLS_H
#define KORVITAN_ARCHIVE_TOOLS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/level_writer.h"

// One entry to make; a name ending in "/" is a folder entry (no bytes).
struct ToolEntry {
    std::string name;
    Bytes bytes;
};

enum ArchiveTool {
    PYTHON_ZIP_DEFLATED,  // Python's zipfile, deflated
    PYTHON_ZIP_STORED,    // Python's zipfile, stored
    ZIP_DEFLATED,         // zip, deflated (names kept byte for byte)
    ZIP_STORED,           // zip -0
    ZIP_ENCRYPTED,        // zip -P (the old ZIP encryption)
    SEVEN_ZIP,            // 7z a (the tool orders the entries its own way)
    SEVEN_ZIP_ENCRYPTED,  // 7z a -p: entries encrypted, names not
};

// The name of a tool, for test traces.
const char *ToolName(ArchiveTool tool);

// The bytes of an archive the tool makes of the entries.
Bytes MakeArchive(ArchiveTool tool, const std::vector<ToolEntry> &entries);

// A ZIP whose one entry, name, declares `declared` bytes but inflates to
// `inflated` zero bytes (archive_tool.py bomb).
Bytes MakeBomb(uint64_t declared, uint64_t inflated, const std::string &name = "maps/bomb.bsp");

#endif
