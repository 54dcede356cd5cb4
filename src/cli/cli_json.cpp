// cli_json.cpp - see cli_json.h.
#include "cli/cli_json.h"

#include "map/level_reader.h"
#include "map/model.h"

static Json RowJson(const std::string &row) { return row.empty() ? Json(nullptr) : Json(row); }

static Json BoundsJson(void) {
    if (MapData.vertexCount <= 0) return nullptr;
    const MapBoundsRecord &b = MapBounds;
    Json bounds = Json::object();
    bounds["minX"] = b.minX;
    bounds["maxX"] = b.maxX;
    bounds["minY"] = b.minY;
    bounds["maxY"] = b.maxY;
    bounds["minZ"] = b.minZ;
    bounds["maxZ"] = b.maxZ;
    return bounds;
}

Json LevelFactsJson(const std::string &source, const std::string &row) {
    Json facts = Json::object();
    facts["source"] = source;
    facts["row"] = RowJson(row);
    facts["format"] = LastLevelFormat();
    facts["version"] = LastLevelVersion();
    facts["vertices"] = MapData.vertexCount;
    facts["edges"] = MapData.edgeCount;
    facts["bounds"] = BoundsJson();
    return facts;
}

Json MissingFactsJson(const std::string &source, const std::string &row) {
    Json facts = Json::object();
    facts["source"] = source;
    facts["row"] = RowJson(row);
    for (const char *key : {"format", "version", "vertices", "edges", "bounds"}) facts[key] = nullptr;
    return facts;
}

Json MapsJson(const std::string &source, const std::vector<std::string> &rows) {
    Json maps = Json::object();
    maps["source"] = source;
    maps["rows"] = rows;
    return maps;
}

std::string JsonText(const Json &value, bool pretty) {
    return value.dump(pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace);
}
