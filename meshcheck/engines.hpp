// What each engine meshcheck knows does with a model at load time: the
// per-surface limits it refuses a model at, and whether it refuses a model
// without frames.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
};

// The profile used when none is named: the engine most Quake III mods,
// OpenArena among them, run on.
const EngineProfile& default_engine();

// The profile called `name`, or null when there is none.
const EngineProfile* find_engine(std::string_view name);

// The names of every profile, "ioq3, q3, quake3e, etlegacy", for a usage
// error.
std::string engine_names();
