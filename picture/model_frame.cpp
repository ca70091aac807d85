// Gathering one frame of a model for its picture.
#include "model_frame.hpp"

#include "md3_layout.hpp"

namespace md3 {

void gather_frame(const std::uint8_t* model, const std::uint8_t* repaired, std::int32_t frame,
                  FrameArrays& out) {
    out = FrameArrays{};
    const std::uint8_t* bounds = frame_at(model, frame);
    for (int k = 0; k < 3; ++k) {
        out.localOrigin[k] = Md3Frame::localOrigin(bounds, k);
        out.mins[k] = Md3Frame::mins(bounds, k);
        out.maxs[k] = Md3Frame::maxs(bounds, k);
    }
    out.radius = Md3Frame::radius(bounds);

    std::int64_t at = Md3Header::ofsSurfaces(model);
    for_each_surface(model, [&](const std::uint8_t* surface, std::int32_t) {
        // The repaired copy has the same layout: its surface lies at the same offset.
        const std::uint8_t* mended = repaired + at;
        at = next_surface_offset(model, at);
        if (frame >= Md3Surface::numFrames(surface)) return true;
        ++out.surfaces;
        const auto base = static_cast<std::int32_t>(out.storedNormals.size());
        const std::int32_t numVerts = Md3Surface::numVerts(surface);
        const std::uint8_t* stored = vertex_frame(surface, frame);
        const std::uint8_t* rebuilt = vertex_frame(mended, frame);
        bool changed = false;
        for (std::int32_t v = 0; v < numVerts; ++v) {
            const std::uint8_t* sv = stored + std::int64_t{v} * Md3Vertex::kSize;
            const std::uint8_t* rv = rebuilt + std::int64_t{v} * Md3Vertex::kSize;
            for (int k = 0; k < 3; ++k) out.positions.push_back(Md3Vertex::position(sv, k));
            out.storedNormals.push_back(Md3Vertex::normal(sv));
            out.rebuiltNormals.push_back(Md3Vertex::normal(rv));
            changed = changed || Md3Vertex::normal(sv) != Md3Vertex::normal(rv);
        }
        const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
        for (std::int32_t t = 0; t < numTriangles; ++t)
            for (int c = 0; c < 3; ++c)
                out.triangles.push_back(base + Md3Triangle::index(triangle_at(surface, t), c));
        if (changed)
            out.changedSurfaces.emplace_back(field_text(Md3Surface::name(surface), kNameSize));
        return true;
    });
}

PictureFrame picture_frame(const FrameArrays& arrays) {
    PictureFrame frame;
    frame.positions = arrays.positions;
    frame.triangles = arrays.triangles;
    frame.storedNormals = arrays.storedNormals;
    frame.rebuiltNormals = arrays.rebuiltNormals;
    frame.localOrigin = arrays.localOrigin;
    frame.radius = arrays.radius;
    frame.mins = arrays.mins;
    frame.maxs = arrays.maxs;
    return frame;
}

}  // namespace md3
