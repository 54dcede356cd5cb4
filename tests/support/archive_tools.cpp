// archive_tools.cpp - see archive_tools.h.
#include "support/archive_tools.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/temp_files.h"

namespace {

namespace fs = std::filesystem;

// A quoted word for the shell: every byte kept, names beyond UTF-8 too.
std::string Quoted(const std::string &word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Bytes ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Run(const std::string &command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "archive_tools: failed: %s\n", command.c_str());
        std::abort();
    }
}

// A fresh folder in the tests' temporary folder.
std::string FreshFolder(const char *what) {
    static int made;
    std::string path = MissingTempPath(std::string(what) + "-" + std::to_string(++made));
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

const char *CommandOf(ArchiveTool tool) {
    switch (tool) {
    case PYTHON_ZIP_DEFLATED: return "/usr/bin/python3 " KORVITAN_ARCHIVE_TOOL " zip OUT deflated";
    case PYTHON_ZIP_STORED: return "/usr/bin/python3 " KORVITAN_ARCHIVE_TOOL " zip OUT stored";
    case ZIP_DEFLATED: return "zip -q -X OUT";
    case ZIP_STORED: return "zip -q -X -0 OUT";
    case ZIP_ENCRYPTED: return "zip -q -X -P secret OUT";
    case SEVEN_ZIP: return "7z a -bd -bso0 -bsp0 OUT";
    case SEVEN_ZIP_ENCRYPTED: return "7z a -bd -bso0 -bsp0 -psecret OUT";
    }
    return "";
}

}  // namespace

const char *ToolName(ArchiveTool tool) {
    static const char *const NAMES[] = {"python zipfile deflated", "python zipfile stored", "zip",
                                        "zip -0", "zip -P", "7z", "7z -p"};
    return NAMES[tool];
}

Bytes MakeArchive(ArchiveTool tool, const std::vector<ToolEntry> &entries) {
    std::string stage = FreshFolder("stage");
    std::string out = stage + ".archive";
    fs::remove(out);
    std::string names;
    for (const ToolEntry &entry : entries) {
        fs::path path = fs::path(stage) / entry.name;
        if (entry.name.back() == '/') {
            fs::create_directories(path);
        } else {
            fs::create_directories(path.parent_path());
            if (!WriteBytesToFile(path.string(), entry.bytes)) std::abort();
        }
        names += " " + Quoted(entry.name);
    }
    std::string command = CommandOf(tool);
    command.replace(command.find("OUT"), 3, Quoted(out));
    Run("cd " + Quoted(stage) + " && " + command + names);
    Bytes bytes = ReadAll(out);
    fs::remove_all(stage);
    fs::remove(out);
    return bytes;
}

Bytes MakeBomb(uint64_t declared, uint64_t inflated, const std::string &name) {
    std::string out = FreshFolder("bomb") + "/bomb.zip";
    Run("/usr/bin/python3 " KORVITAN_ARCHIVE_TOOL " bomb " + Quoted(out) + " " + std::to_string(declared) +
        " " + std::to_string(inflated) + " " + Quoted(name));
    return ReadAll(out);
}
