// make_seeds.cpp - writes the fuzzers' seed corpus with our own writer.
//
//   make_seeds DIR
//       writes DIR/level/NAME.bsp, DIR/archive/NAME.pak, DIR/views/NAME.in
//       and DIR/overlay/NAME.in: valid files, one file for each way a load
//       can fail, the numbers the views must survive and overlay files of
//       every layout (see hostile_files.h).
//   make_seeds --views-levels OUTDIR IN...
//       writes OUTDIR/NAME.bsp, the level the views fuzzer builds from each
//       input IN named NAME, so that korvitan-cli can be run over that
//       fuzzer's corpus too.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#include "hostile_files.h"

static int MakeDir(const std::string &path) {
    if (mkdir(path.c_str(), 0755) == 0) return 1;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static int WriteAll(const std::string &dir, const std::vector<HostileFile> &files, const char *suffix) {
    if (!MakeDir(dir)) {
        std::fprintf(stderr, "make_seeds: cannot create %s\n", dir.c_str());
        return 0;
    }
    for (const HostileFile &f : files) {
        std::string path = dir + "/" + f.name + suffix;
        if (!WriteBytesToFile(path, f.bytes)) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
            return 0;
        }
    }
    return 1;
}

static int ViewsInputToLevel(const std::string &in, const std::string &out) {
    FILE *f = std::fopen(in.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "make_seeds: cannot read %s\n", in.c_str());
        return 0;
    }
    Bytes input;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) input.insert(input.end(), chunk, chunk + got);
    std::fclose(f);
    if (!WriteBytesToFile(out, LevelFromViewInput(input.data(), input.size()))) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", out.c_str());
        return 0;
    }
    return 1;
}

static int ViewsInputsToLevels(const std::string &outDir, int count, char **inputs) {
    if (!MakeDir(outDir)) return 1;
    for (int i = 0; i < count; i++) {
        std::string in = inputs[i];
        size_t slash = in.find_last_of('/');
        std::string name = slash == std::string::npos ? in : in.substr(slash + 1);
        if (!ViewsInputToLevel(in, outDir + "/" + name + ".bsp")) return 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--views-levels") == 0)
        return ViewsInputsToLevels(argv[2], argc - 3, argv + 3);
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: make_seeds DIR\n       make_seeds --views-levels OUTDIR IN...\n", stderr);
        return 2;
    }
    std::string dir = argv[1];
    int ok = MakeDir(dir) && WriteAll(dir + "/level", HostileLevels(), ".bsp") &&
             WriteAll(dir + "/archive", HostileArchives(), ".pak") &&
             WriteAll(dir + "/views", HostileViewInputs(), ".in") &&
             WriteAll(dir + "/overlay", HostileOverlayInputs(), ".in");
    return ok ? 0 : 1;
}
