// temp_files.cpp - see temp_files.h.
#include "support/temp_files.h"

#include <cstdio>
#include <dirent.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "map/model.h"

// One folder per process, removed at exit with what the tests wrote in it.
static const std::string &TempFolder() {
    static std::string folder = [] {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvitan-test-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data())) std::abort();
        std::string made(buffer.data());
        static std::string toRemove;
        toRemove = made;
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(toRemove, error);
            if (error) std::fprintf(stderr, "could not remove %s: %s\n", toRemove.c_str(), error.message().c_str());
        });
        return made;
    }();
    return folder;
}

std::string WriteTempFile(const std::string &name, const Bytes &bytes) {
    std::string path = TempFolder() + "/" + name;
    if (!WriteBytesToFile(path, bytes)) std::abort();
    return path;
}

std::string MissingTempPath(const std::string &name) {
    std::string path = TempFolder() + "/" + name;
    unlink(path.c_str());
    return path;
}

void ChooseFile(const std::string &path) {
    std::snprintf(fileName, sizeof fileName, "%s", path.c_str());
}

int OpenDescriptorCount(void) {
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int n = 0;
    while (readdir(dir)) n++;
    closedir(dir);
    return n;
}
