// One frame of a model, gathered into the plain arrays a picture is drawn
// from: every surface's vertices and triangles of that frame, with the stored
// normals beside those of a repaired copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render.hpp"

namespace md3 {

struct FrameArrays {
    std::vector<std::int16_t> positions;  // three per vertex, surfaces one after the other
    std::vector<std::int32_t> triangles;  // indices into the vertices above
    std::vector<std::uint16_t> storedNormals, rebuiltNormals;
    // The surfaces in this frame, and those of them whose normals differ from
    // the repaired copy's, by name.
    std::int64_t surfaces = 0;
    std::vector<std::string> changedSurfaces;
    std::array<float, 3> localOrigin{}, mins{}, maxs{};
    float radius = 0.0f;
};

// Gathers frame `frame` of `model`, with the rebuilt normals from `repaired`,
// a copy of it that went through the repair pass. Both must have passed
// validate_layout, and `frame` must be below the model's frame count; a
// surface with fewer frames than that is left out.
void gather_frame(const std::uint8_t* model, const std::uint8_t* repaired, std::int32_t frame,
                  FrameArrays& out);

// The arrays as the renderer takes them; valid while `arrays` is.
PictureFrame picture_frame(const FrameArrays& arrays);

}  // namespace md3
