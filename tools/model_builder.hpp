// Builds MD3 model files from a plain description: used to make the bundled
// sample, the test models and fuzzing seeds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "md3_layout.hpp"

using namespace md3;

struct BuiltVertex {
    std::int16_t x = 0, y = 0, z = 0;  // model units * 64
    std::uint16_t normal = 0;
};

struct BuiltFrame {
    std::array<float, 3> mins{}, maxs{}, localOrigin{};
    float radius = 0.0f;
    std::string name;
};

struct BuiltSurface {
    std::string name;
    std::vector<std::string> shaders{"shader"};  // at least one
    std::vector<std::array<std::int32_t, 3>> triangles;
    std::vector<std::vector<BuiltVertex>> frames;  // frames[j][v]; every frame as long
};

struct BuiltModel {
    std::string name;
    std::vector<BuiltFrame> frames;
    std::int32_t numTags = 0;  // tag records are filled with a byte pattern
    // Written over the pattern as the names of each frame's first tags (at
    // most numTags of them), the rest of each name field zeroed.
    std::vector<std::string> tagNames;
    std::vector<BuiltSurface> surfaces;
    std::size_t trailingBytes = 0;  // bytes after ofsEnd, not part of the model
};

// Lays the model out as exporters do: header, frames, tags, then each surface
// as one block (header, shaders, triangles, texture coordinates, vertices),
// then the trailing bytes. Unused bytes carry recognisable patterns so that
// tests can tell whether they survived.
ModelBuffer build_model(const BuiltModel& model);

// A generated animated model: each surface a closed, wobbling sphere of at
// most `vertsPerSurface` vertices (at least 14), each frame a different
// shape. Uses only basic arithmetic, so every host generates the same bytes.
BuiltModel generated_model(int numSurfaces, int numFrames, int vertsPerSurface);

// The model with a copy of every third vertex at its position in every
// frame, which every other triangle using that vertex uses instead: seams
// across smooth stretches and across sharp ones, as an exporter's texture
// seams would make them.
BuiltModel with_seams(BuiltModel m);

// The model bundled as the project's sample: two surfaces over three frames,
// backslash separators, ".tga" shader names, wrong normals and stale bounds.
BuiltModel sample_model();

// The second bundled sample, a barrel: a side whose normals are right (as a
// modelling tool stores them, smooth across the column of vertices its
// texture seam stores twice) and a lid whose normals are not, with a
// backslash and ".tga" in a shader name and stale bounds.
BuiltModel barrel_model();

// The fuzz targets' seed models, by file name: several surfaces and frames,
// degenerate triangles, names with and without separators, trailing bytes,
// a header alone.
std::vector<std::pair<std::string, BuiltModel>> seed_models();
