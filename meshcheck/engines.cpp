// The engine profiles: one table, each value with where it was read.
#include "engines.hpp"

#include <array>

namespace {

// Sources are paths inside each engine's own repository.
constexpr std::array<EngineProfile, 4> kEngines = {{
    // ioquake3: R_LoadMD3 in code/renderergl1/tr_model.c and
    // code/renderergl2/tr_model.c refuses a surface when numVerts >= 1000 or
    // numTriangles * 3 >= 6000, and a model with no frames; the model is
    // not loaded, with a warning.
    {"ioq3", "ioq3", 1000, 2000, false, true},
    // The 1.32 release: code/renderer/tr_model.c drops to the console
    // (ERR_DROP) when numVerts > 1000 or numTriangles * 3 > 6000. What it
    // does with no frames was not gathered: no check.
    {"q3", "Quake III 1.32", 1001, 2001, true, false},
    // Quake3e: code/renderer*/tr_model.c, the same limits as ioq3. Its
    // handling of a model without frames was not gathered: no check.
    {"quake3e", "Quake3e", 1000, 2000, false, false},
    // ET: Legacy: SHADER_MAX_VERTEXES of src/qcommon/qfiles.h is 10000
    // vertices; at exactly 10000 the comparison was not gathered, so 10000
    // counts as refused. Its triangle limit and its handling of a model
    // without frames were not gathered: no check.
    {"etlegacy", "ET: Legacy", 10000, 0, false, false},
}};

}  // namespace

const EngineProfile& default_engine() { return kEngines[0]; }

const EngineProfile* find_engine(std::string_view name) {
    for (const EngineProfile& engine : kEngines)
        if (name == engine.name) return &engine;
    return nullptr;
}

std::string engine_names() {
    std::string names;
    for (const EngineProfile& engine : kEngines) {
        if (!names.empty()) names += ", ";
        names += engine.name;
    }
    return names;
}
