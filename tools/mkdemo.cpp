// mkdemo.cpp - writes the demo files the viewer is tried out on.
//
// Usage: mkdemo OUTDIR
//        mkdemo --bench OUTDIR
//
// Writes OUTDIR/demo.bsp, a single level, and OUTDIR/demo.pak, an archive with
// three different levels under maps/ and two other entries placed between
// them, so that picking the levels out of the directory is exercised; and
// the demo level once more in each variant of the level header, as
// OUTDIR/variants/demo-bsp2.bsp, demo-2psb.bsp, demo-ibsp.bsp,
// demo-qbsp.bsp and demo-vbsp.bsp, which draw exactly like demo.bsp, and as
// surfaces in demo-ibsp46.bsp and demo-rbsp.bsp, which draw exactly its
// pixels.
// With --bench it writes the benchmarks' levels instead: town.bsp (about
// 20,000 edges of architecture), town_surfaces.bsp (the town as surfaces of
// every kind, about 5 MB), grid_4k_60k.bsp and grid_64k_1m.bsp (4,096
// vertices and 60,000 edges; 65,536 and a million). Prints nothing on
// success; the bytes are the same on every run.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/demo_levels.h"
#include "tools/level_writer.h"

static const char README[] =
    "Demo archive for the level viewer.\n"
    "maps/demo.bsp   rooms, corridors, a stair and a spired tower\n"
    "maps/tower.bsp  a keep inside curtain walls with corner towers\n"
    "maps/halls.bsp  an arcaded hall with aisles\n";

// Returns the level's bytes, or an empty vector if it has too many vertices
// for 16-bit edge indices.
static Bytes LevelFile(const Wireframe &w) {
    if (w.overflow) return Bytes();
    return LevelBytes(w.vertices, w.edges, 29);
}

static Bytes PaletteBytes() {
    Bytes palette;  // 256 RGB entries: a plain ramp with tinted channels
    for (int i = 0; i < 256; i++) {
        palette.push_back(uint8_t(i));
        palette.push_back(uint8_t(i * 3 / 4));
        palette.push_back(uint8_t(i / 2));
    }
    return palette;
}

static int Write(const std::filesystem::path &path, const Bytes &bytes) {
    if (WriteBytesToFile(path.string(), bytes)) return 1;
    std::fprintf(stderr, "mkdemo: cannot write %s\n", path.string().c_str());
    return 0;
}

// The level in every variant but the original layout, as DIR/demo-NAME.bsp,
// and as surfaces, one planar surface a face, as DIR/demo-ibsp46.bsp and
// DIR/demo-rbsp.bsp.
static int WriteVariants(const std::filesystem::path &dir, const Wireframe &w) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "mkdemo: cannot create %s: %s\n", dir.string().c_str(),
                     error.message().c_str());
        return 0;
    }
    for (const LevelVariantLayout &layout : LEVEL_VARIANTS) {
        if (layout.variant == VARIANT_BSP) continue;
        Bytes bytes = VariantLevelBytes(layout.variant, w.vertices, WidenEdges(w.edges));
        if (!Write(dir / (std::string("demo-") + layout.name + ".bsp"), bytes)) return 0;
    }
    SurfaceLevel faces = FaceSurfaces(w);
    return Write(dir / "demo-ibsp46.bsp", SurfaceLevelBytes(SURFACES_IBSP, faces)) &&
           Write(dir / "demo-rbsp.bsp", SurfaceLevelBytes(SURFACES_RBSP, faces));
}

static int WriteBenchLevels(const std::filesystem::path &dir) {
    Bytes town = LevelFile(TownLevel());
    if (town.empty()) {
        std::fprintf(stderr, "mkdemo: the town has more than 65536 vertices\n");
        return 1;
    }
    if (!Write(dir / "town.bsp", town)) return 1;
    if (!Write(dir / "town_surfaces.bsp", SurfaceLevelBytes(SURFACES_IBSP, SurfaceTownLevel()))) return 1;
    static const struct {
        const char *name;
        int32_t vertices, edges;
    } GRIDS[] = {{"grid_4k_60k.bsp", 4096, 60000}, {"grid_64k_1m.bsp", 65536, 1000000}};
    for (const auto &grid : GRIDS) {
        std::vector<Vertex> vertices;
        std::vector<Edge> edges;
        GridLevel(grid.vertices, grid.edges, &vertices, &edges);
        if (!Write(dir / grid.name, LevelBytes(vertices, edges, 29))) return 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    bool bench = argc == 3 && std::string(argv[1]) == "--bench";
    if (argc != 2 && !bench) {
        std::fprintf(stderr, "usage: mkdemo [--bench] OUTDIR\n");
        return 2;
    }
    std::filesystem::path dir = argv[argc - 1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "mkdemo: cannot create %s: %s\n", dir.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    if (bench) return WriteBenchLevels(dir);

    bool facesMatch = false;
    Wireframe demoLevel = DemoLevel(&facesMatch);
    if (!facesMatch) {
        std::fprintf(stderr, "mkdemo: the demo level's faces do not bound exactly its lines\n");
        return 1;
    }
    Bytes demo = LevelFile(demoLevel);
    Bytes tower = LevelFile(TowerLevel());
    Bytes halls = LevelFile(HallsLevel());
    if (demo.empty() || tower.empty() || halls.empty()) {
        std::fprintf(stderr, "mkdemo: a demo level has more than 65536 vertices\n");
        return 1;
    }
    // The readme comes first and the palette sits between levels, so a reader
    // that took every entry, or only the first ones, would show non-levels.
    Bytes archive = ArchiveBytes({
        {"readme.txt", Bytes(README, README + sizeof README - 1)},
        {"maps/demo.bsp", demo},
        {"gfx/palette.lmp", PaletteBytes()},
        {"maps/tower.bsp", tower},
        {"maps/halls.bsp", halls},
    });
    if (!Write(dir / "demo.bsp", demo) || !Write(dir / "demo.pak", archive)) return 1;
    return WriteVariants(dir / "variants", demoLevel) ? 0 : 1;
}
