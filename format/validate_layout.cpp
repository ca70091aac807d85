// Layout validation: every offset, count and index a model carries, checked once.
#include "validate_layout.hpp"

#include "md3_layout.hpp"

namespace {

// Half-open byte range [begin, end); an empty range overlaps nothing.
struct Region {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

Region array_region(std::int64_t start, std::int64_t count, std::int64_t size) {
    if (count == 0) return {};
    return {start, start + count * size};
}

bool overlaps(Region a, Region b) {
    return a.begin < a.end && b.begin < b.end && a.begin < b.end && b.begin < a.end;
}

bool triangle_indices_valid(const std::uint8_t* triangles, std::int64_t numTriangles,
                            std::int32_t numVerts) {
    for (std::int64_t t = 0; t < numTriangles; ++t) {
        const std::uint8_t* tri = triangles + t * Md3Triangle::kSize;
        for (int corner = 0; corner < 3; ++corner) {
            const std::int32_t index = Md3Triangle::index(tri, corner);
            if (index < 0 || index >= numVerts) return false;
        }
    }
    return true;
}

}  // namespace

bool region_inside(std::int64_t start, std::int64_t count, std::int64_t size, std::int64_t lo,
                   std::int64_t hi) {
    if (count < 0) return false;
    if (count == 0) return true;
    if (start < lo || start > hi) return false;
    return count <= (hi - start) / size;
}

bool frames_inside(const std::uint8_t* header, std::int64_t limit) {
    const std::int64_t numFrames = Md3Header::numFrames(header);
    if (numFrames <= 0) return true;
    return region_inside(Md3Header::ofsFrames(header), numFrames, Md3Frame::kSize, 0, limit);
}

// The repair pass writes the frame array, each surface's first shader record
// and each surface's vertex array. It is steered by the model header, the
// surface headers and the triangle arrays. If a written region overlapped a
// steering one, the pass's own writes would change counts, offsets or indices
// after they were checked here, so that is rejected too; so is a frame array
// that overlaps a vertex array, whose outcome would hang on write order.
//
// Surfaces follow one another: each starts where its predecessor's block ends
// and keeps its records inside its own block, so blocks never overlap and
// surfaces need only be compared with themselves, the header and the frames.
//
// The model name, also rewritten, needs no rule of its own: it cannot reach the
// counts and offsets of any surface header, and its only change ('\\' becoming
// '/') lowers a byte, which cannot push an overlapped triangle index out of range.
bool validate_layout(std::span<const std::uint8_t> model) {
    const std::uint8_t* header = model.data();
    const std::int64_t fileSize = static_cast<std::int64_t>(model.size());
    if (fileSize < Md3Header::kSize) return false;

    const std::int64_t end = Md3Header::ofsEnd(header);
    if (end < Md3Header::kSize || end > fileSize) return false;

    const std::int64_t numFrames = Md3Header::numFrames(header);
    const std::int64_t numSurfaces = Md3Header::numSurfaces(header);
    if (numFrames < 0 || numSurfaces < 0) return false;
    if (!frames_inside(header, end)) return false;

    const Region headerRegion{0, Md3Header::kSize};
    const Region frames = array_region(Md3Header::ofsFrames(header), numFrames, Md3Frame::kSize);
    if (overlaps(frames, headerRegion)) return false;

    std::int64_t start = Md3Header::ofsSurfaces(header);
    for (std::int64_t s = 0; s < numSurfaces; ++s) {
        if (!region_inside(start, 1, Md3Surface::kSize, 0, end)) return false;
        const std::uint8_t* surface = header + start;

        const std::int64_t length = Md3Surface::ofsEnd(surface);
        if (length < Md3Surface::kSize || length > end - start) return false;
        const std::int64_t blockEnd = start + length;

        const std::int64_t surfaceFrames = Md3Surface::numFrames(surface);
        const std::int64_t numVerts = Md3Surface::numVerts(surface);
        const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
        if (surfaceFrames < 0 || numVerts < 0 || numTriangles < 0) return false;
        if (surfaceFrames > numFrames) return false;

        const std::int64_t shaderAt = start + Md3Surface::ofsShaders(surface);
        const std::int64_t trianglesAt = start + Md3Surface::ofsTriangles(surface);
        const std::int64_t verticesAt = start + Md3Surface::ofsXyzNormals(surface);
        const std::int64_t numVertices = surfaceFrames * numVerts;  // < 2^62, no overflow
        if (!region_inside(shaderAt, 1, Md3Shader::kSize, start, blockEnd) ||
            !region_inside(trianglesAt, numTriangles, Md3Triangle::kSize, start, blockEnd) ||
            !region_inside(verticesAt, numVertices, Md3Vertex::kSize, start, blockEnd))
            return false;

        const Region surfaceHeader{start, start + Md3Surface::kSize};
        const Region triangles = array_region(trianglesAt, numTriangles, Md3Triangle::kSize);
        const Region shader{shaderAt, shaderAt + Md3Shader::kSize};
        const Region vertices = array_region(verticesAt, numVertices, Md3Vertex::kSize);
        for (const Region written : {frames, shader, vertices}) {
            if (overlaps(written, headerRegion) || overlaps(written, surfaceHeader) ||
                overlaps(written, triangles))
                return false;
        }
        // Bounds and normals are written frame by frame: if they shared bytes,
        // the result would depend on the order of the writes within a frame.
        if (overlaps(frames, vertices)) return false;

        if (!triangle_indices_valid(header + trianglesAt, numTriangles,
                                    static_cast<std::int32_t>(numVerts)))
            return false;
        start = blockEnd;
    }
    return true;
}
