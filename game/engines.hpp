// What each engine meshcheck knows does with a model at load time: the
// per-surface limits it refuses a model at, and whether it refuses a model
// without frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace md3 {

// Whether the engine searches a game folder's loose files before or after its
// archives; not_known where that was not gathered.
enum class LooseOrder { before_archives, after_archives, not_known };

struct EngineProfile {
    const char* name;   // as given to --engine
    const char* title;  // as shown in messages
    // The smallest vertex count of one surface the engine refuses, or 0
    // when it is not known.
    std::int64_t refusedVertices;
    // The smallest triangle count of one surface the engine refuses, or 0
    // when it is not known.
    std::int64_t refusedTriangles;
    // True when the engine drops to the console rather than skipping the
    // model.
    bool dropsToConsole;
    bool refusesNoFrames;  // a model with zero frames is refused
    LooseOrder looseFiles;
    // The image extensions tried, in order, for a shader name no script
    // defines, ending with null; null when they were not gathered (no
    // shader or skin reference is checked then).
    const char* const* imageExtensions;
    // The length in bytes of a model path the engine refuses to load, or 0
    // when not known.
    std::int64_t refusedPathBytes;
    // Whether the engine loads x_1.md3 and x_2.md3 beside x.md3 as its
    // lower details.
    bool loadsLods;
};

// The profile used when none is named: the engine most Quake III mods,
// OpenArena among them, run on.
const EngineProfile& default_engine();

// The profile called `name`, or null when there is none.
const EngineProfile* find_engine(std::string_view name);

// The names of every profile, "ioq3, q3, quake3e, etlegacy", for a usage
// error.
std::string engine_names();

}  // namespace md3
