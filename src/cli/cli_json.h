// cli_json.h - korvitan-cli's JSON: what info, maps and batch's manifest
// print, made with nlohmann's JSON library.
//
// Numbers that are 32-bit floats in the level (the bounds) are held as
// floats and written in the fewest digits that read back to the same float;
// a fact that is missing, and a bound that is no finite number, is null.
// Keys keep the order they were added in. Text that is not UTF-8 (a name
// stored in an archive as it came) is written with U+FFFD for each byte
// that is not.
#ifndef KORVITAN_CLI_JSON_H
#define KORVITAN_CLI_JSON_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// The facts of the level in the model, as info prints them:
//   {"source": FILE, "row": ROW or null, "format": "bsp", "version": 29,
//    "vertices": N, "edges": N,
//    "bounds": {"minX": ., "maxX": ., "minY": ., "maxY": ., "minZ": ., "maxZ": .}}
// bounds is null for a level without vertices. row is null for a level
// file; an empty row also stands for none.
Json LevelFactsJson(const std::string &source, const std::string &row);

// The same keys, every fact null: a level that could not be read.
Json MissingFactsJson(const std::string &source, const std::string &row);

// {"source": ARCHIVE, "rows": [ROW, ...]}
Json MapsJson(const std::string &source, const std::vector<std::string> &rows);

// The text of a value: pretty (two spaces a level) or on one line.
std::string JsonText(const Json &value, bool pretty);

#endif
