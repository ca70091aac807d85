// Names, bounds reset and frame centres and radii, with their progress lines.
#include "pass_steps.hpp"

#include <cmath>

#include "md3_layout.hpp"

namespace md3 {

namespace {

// Bounds start out inverted so that the first vertex of a frame sets both.
constexpr float kBoundsReset = 999999.0f;

void print_name(std::FILE* out, const char* label, const std::uint8_t* name) {
    const std::string_view text = field_text(name, kNameSize);
    if (!out) return;
    std::fprintf(out, "%s%.*s\n", label, static_cast<int>(text.size()), text.data());
}

void fix_separators(std::uint8_t* name) {
    for (std::size_t i = 0; i < kNameSize && name[i] != 0; ++i)
        if (name[i] == '\\') name[i] = '/';
}

// Cuts a three-character extension by position: the character four places
// before the end of the name must be the dot (hull.tga, but not hull.jpeg).
void cut_extension(std::uint8_t* name) {
    const std::size_t length = field_text(name, kNameSize).size();
    if (length >= 4 && name[length - 4] == '.') name[length - 4] = 0;
}

}  // namespace

void repair_model_name(std::uint8_t* model, std::FILE* out) {
    std::uint8_t* name = Md3Header::name(model);
    print_name(out, "Fixing model name:     ", name);
    fix_separators(name);
    print_name(out, "Done:                  ", name);
}

void reset_frame_bounds(std::uint8_t* model) {
    const std::int32_t numFrames = Md3Header::numFrames(model);
    for (std::int32_t i = 0; i < numFrames; ++i) {
        std::uint8_t* frame = frame_at(model, i);
        for (int k = 0; k < 3; ++k) {
            Md3Frame::set_mins(frame, k, kBoundsReset);
            Md3Frame::set_maxs(frame, k, -kBoundsReset);
        }
    }
}

void repair_shader_name(std::uint8_t* surface, std::FILE* out) {
    print_name(out, "Fixing surface:        ", Md3Surface::name(surface));
    std::uint8_t* shader = Md3Shader::name(shader_at(surface));
    print_name(out, "Fixing shader:         ", shader);
    fix_separators(shader);
    cut_extension(shader);
    print_name(out, "Done:                  ", shader);
}

bool report_surface_counts(const std::uint8_t* surface, std::FILE* out) {
    if (out)
        std::fprintf(out, "Fixing frames/normals: %d frames %d tris %d verts\n",
                     Md3Surface::numFrames(surface), Md3Surface::numTriangles(surface),
                     Md3Surface::numVerts(surface));
    return Md3Surface::numVerts(surface) <= kMaxSurfaceVerts;
}

void finish_frame_bounds(std::uint8_t* model, std::FILE* out) {
    const std::int32_t numFrames = Md3Header::numFrames(model);
    if (out) std::fprintf(out, "Fixing frame bounds:   %d frames\n", numFrames);
    for (std::int32_t i = 0; i < numFrames; ++i) {
        std::uint8_t* frame = frame_at(model, i);
        float extent[3];
        for (int k = 0; k < 3; ++k) {
            const float lo = Md3Frame::mins(frame, k);
            const float hi = Md3Frame::maxs(frame, k);
            Md3Frame::set_localOrigin(frame, k, (lo + hi) * 0.5f);
            extent[k] = hi - lo;
        }
        // The whole diagonal of the box, not half of it.
        Md3Frame::set_radius(frame, std::sqrt(extent[0] * extent[0] + extent[1] * extent[1] +
                                              extent[2] * extent[2]));
    }
    if (out) std::fprintf(out, "Done.\n");
}

}  // namespace md3
