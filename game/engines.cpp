// The engine profiles: one table, each value with where it was read.
#include "engines.hpp"

#include <array>

namespace md3 {

namespace {

// The images R_FindShader falls back to when no script defines a name
// (tr_shader.c, tr_image.c): ioquake3's list, and the original release's
// .tga then .jpg.
constexpr const char* kIoq3Images[] = {".tga", ".jpg", ".jpeg", ".png",
                                       ".pcx", ".bmp", ".pvr",  nullptr};
constexpr const char* kQ3Images[] = {".tga", ".jpg", nullptr};

// Sources are paths inside each engine's own repository.
constexpr std::array<EngineProfile, 4> kEngines = {{
    // ioquake3: R_LoadMD3 in code/renderergl1/tr_model.c and
    // code/renderergl2/tr_model.c refuses a surface when numVerts >= 1000 or
    // numTriangles * 3 >= 6000, and a model with no frames; the model is
    // not loaded, with a warning.
    // code/qcommon/files.c searches loose files before pk3 files (since
    // 2011); RE_RegisterModel (tr_model.c) refuses a name of MAX_QPATH (64)
    // bytes or more and loads name_1.md3 and name_2.md3 as the lower details.
    {.name = "ioq3",
     .title = "ioq3",
     .refusedVertices = 1000,
     .refusedTriangles = 2000,
     .dropsToConsole = false,
     .refusesNoFrames = true,
     .looseFiles = LooseOrder::before_archives,
     .imageExtensions = kIoq3Images,
     .refusedPathBytes = 64,
     .loadsLods = true},
    // The 1.32 release: code/renderer/tr_model.c drops to the console
    // (ERR_DROP) when numVerts > 1000 or numTriangles * 3 > 6000. What it
    // does with no frames was not gathered: no check.
    // Its code/qcommon/files.c searches pk3 files before loose files. Its
    // path limit and LOD loading were not gathered.
    {.name = "q3",
     .title = "Quake III 1.32",
     .refusedVertices = 1001,
     .refusedTriangles = 2001,
     .dropsToConsole = true,
     .refusesNoFrames = false,
     .looseFiles = LooseOrder::after_archives,
     .imageExtensions = kQ3Images,
     .refusedPathBytes = 0,
     .loadsLods = false},
    // Quake3e: code/renderer*/tr_model.c, the same limits as ioq3. Its
    // handling of a model without frames was not gathered: no check.
    // Its file system, images, path limit and LODs were not gathered.
    {.name = "quake3e",
     .title = "Quake3e",
     .refusedVertices = 1000,
     .refusedTriangles = 2000,
     .dropsToConsole = false,
     .refusesNoFrames = false,
     .looseFiles = LooseOrder::not_known,
     .imageExtensions = nullptr,
     .refusedPathBytes = 0,
     .loadsLods = false},
    // ET: Legacy: SHADER_MAX_VERTEXES of src/qcommon/qfiles.h is 10000
    // vertices; at exactly 10000 the comparison was not gathered, so 10000
    // counts as refused. Its triangle limit and its handling of a model
    // without frames were not gathered: no check.
    // Its file system, images, path limit and LODs were not gathered.
    {.name = "etlegacy",
     .title = "ET: Legacy",
     .refusedVertices = 10000,
     .refusedTriangles = 0,
     .dropsToConsole = false,
     .refusesNoFrames = false,
     .looseFiles = LooseOrder::not_known,
     .imageExtensions = nullptr,
     .refusedPathBytes = 0,
     .loadsLods = false},
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

}  // namespace md3
