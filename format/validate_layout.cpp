// Layout validation: every offset, count and index a model carries, checked
// once, with the first rule broken reported in words.
#include "validate_layout.hpp"

#include "md3_layout.hpp"
#include "text.hpp"

namespace {

// Half-open byte range [begin, end) holding `size`-byte records; an empty
// range overlaps nothing. `what` names it in a reason.
struct Region {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::int64_t size = 1;
    const char* what = "";
};

Region array_region(std::int64_t start, std::int64_t count, std::int64_t size, const char* what) {
    if (count == 0) return {0, 0, size, what};
    return {start, start + count * size, size, what};
}

bool overlaps(const Region& a, const Region& b) {
    return a.begin < a.end && b.begin < b.end && a.begin < b.end && b.begin < a.end;
}

// "frame array (40 x 56 bytes at 920)", "its header (108 bytes at 2048)"
std::string describe(const Region& r) {
    if (r.end - r.begin == r.size)
        return printf_text("%s (%lld bytes at %lld)", r.what, static_cast<long long>(r.size),
                           static_cast<long long>(r.begin));
    return printf_text("%s (%lld x %lld bytes at %lld)", r.what,
                       static_cast<long long>((r.end - r.begin) / r.size),
                       static_cast<long long>(r.size), static_cast<long long>(r.begin));
}

LayoutVerdict broken(LayoutRule rule, std::string reason) { return {rule, std::move(reason)}; }

// `surface 2 "hull": ` before a reason about that surface.
std::string surface_prefix(std::int64_t s, const std::uint8_t* surface) {
    return printf_text("surface %lld ", static_cast<long long>(s)) +
           quote_name(field_text(Md3Surface::name(surface), kNameSize)) + ": ";
}

std::string negative(const char* field, std::int64_t value) {
    return printf_text("%s %lld is negative", field, static_cast<long long>(value));
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

const char* layout_rule_name(LayoutRule rule) {
    switch (rule) {
        case LayoutRule::none: return "none";
        case LayoutRule::too_short: return "too_short";
        case LayoutRule::magic: return "magic";
        case LayoutRule::version: return "version";
        case LayoutRule::model_end: return "model_end";
        case LayoutRule::negative_count: return "negative_count";
        case LayoutRule::frames_outside: return "frames_outside";
        case LayoutRule::surface_outside: return "surface_outside";
        case LayoutRule::surface_end: return "surface_end";
        case LayoutRule::surface_frames: return "surface_frames";
        case LayoutRule::record_outside: return "record_outside";
        case LayoutRule::overlap: return "overlap";
        case LayoutRule::triangle_index: return "triangle_index";
    }
    return "unknown";
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
LayoutVerdict validate_layout(std::span<const std::uint8_t> model) {
    const std::uint8_t* header = model.data();
    const std::int64_t fileSize = static_cast<std::int64_t>(model.size());
    if (fileSize < Md3Header::kSize)
        return broken(LayoutRule::too_short,
                      printf_text("file of %lld bytes is shorter than a model header (108 bytes)",
                                  static_cast<long long>(fileSize)));
    if (!Md3Header::has_ident(header))
        return broken(
            LayoutRule::magic,
            "not an MD3 model: magic " + quote_name({reinterpret_cast<const char*>(header), 4}));
    if (Md3Header::version(header) != Md3Header::kVersion)
        return broken(LayoutRule::version,
                      printf_text("version %d, expected %d", Md3Header::version(header),
                                  Md3Header::kVersion));

    const std::int64_t end = Md3Header::ofsEnd(header);
    if (end < Md3Header::kSize || end > fileSize)
        return broken(LayoutRule::model_end,
                      printf_text("header: ofsEnd %lld is outside the file (108 .. %lld bytes)",
                                  static_cast<long long>(end), static_cast<long long>(fileSize)));

    const std::int64_t numFrames = Md3Header::numFrames(header);
    const std::int64_t numSurfaces = Md3Header::numSurfaces(header);
    if (numFrames < 0)
        return broken(LayoutRule::negative_count, "header: " + negative("numFrames", numFrames));
    if (numSurfaces < 0)
        return broken(LayoutRule::negative_count,
                      "header: " + negative("numSurfaces", numSurfaces));
    const std::int64_t ofsFrames = Md3Header::ofsFrames(header);
    if (!frames_inside(header, end))
        return broken(LayoutRule::frames_outside,
                      printf_text("frame array (%lld x 56 bytes at %lld) does not fit in the "
                                  "model's %lld bytes",
                                  static_cast<long long>(numFrames),
                                  static_cast<long long>(ofsFrames), static_cast<long long>(end)));

    const Region headerRegion{0, Md3Header::kSize, Md3Header::kSize, "model header"};
    const Region frames = array_region(ofsFrames, numFrames, Md3Frame::kSize, "frame array");
    if (overlaps(frames, headerRegion))
        return broken(LayoutRule::overlap,
                      describe(frames) + " overlaps the " + describe(headerRegion));

    std::int64_t start = Md3Header::ofsSurfaces(header);
    for (std::int64_t s = 0; s < numSurfaces; ++s) {
        if (!region_inside(start, 1, Md3Surface::kSize, 0, end))
            return broken(LayoutRule::surface_outside,
                          printf_text("surface %lld: header (108 bytes at %lld) does not fit in "
                                      "the model's %lld bytes",
                                      static_cast<long long>(s), static_cast<long long>(start),
                                      static_cast<long long>(end)));
        const std::uint8_t* surface = header + start;
        const std::string where = surface_prefix(s, surface);

        const std::int64_t length = Md3Surface::ofsEnd(surface);
        if (length < Md3Surface::kSize || length > end - start)
            return broken(LayoutRule::surface_end,
                          where + printf_text("ofsEnd %lld is outside 108 .. %lld (its header's "
                                              "size .. the bytes left in the model)",
                                              static_cast<long long>(length),
                                              static_cast<long long>(end - start)));
        const std::int64_t blockEnd = start + length;

        const std::int64_t surfaceFrames = Md3Surface::numFrames(surface);
        const std::int64_t numVerts = Md3Surface::numVerts(surface);
        const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
        if (surfaceFrames < 0)
            return broken(LayoutRule::negative_count, where + negative("numFrames", surfaceFrames));
        if (numVerts < 0)
            return broken(LayoutRule::negative_count, where + negative("numVerts", numVerts));
        if (numTriangles < 0)
            return broken(LayoutRule::negative_count,
                          where + negative("numTriangles", numTriangles));
        if (surfaceFrames > numFrames)
            return broken(LayoutRule::surface_frames,
                          where + printf_text("%lld frames, but the model has %lld",
                                              static_cast<long long>(surfaceFrames),
                                              static_cast<long long>(numFrames)));

        const std::int64_t shaderAt = start + Md3Surface::ofsShaders(surface);
        const std::int64_t trianglesAt = start + Md3Surface::ofsTriangles(surface);
        const std::int64_t verticesAt = start + Md3Surface::ofsXyzNormals(surface);
        const std::int64_t numVertices = surfaceFrames * numVerts;  // < 2^62, no overflow
        const std::string leaves =
            printf_text(" leaves its block (%lld .. %lld)", static_cast<long long>(start),
                        static_cast<long long>(blockEnd));
        if (!region_inside(shaderAt, 1, Md3Shader::kSize, start, blockEnd))
            return broken(LayoutRule::record_outside,
                          where +
                              printf_text("shader record (68 bytes at %lld)",
                                          static_cast<long long>(shaderAt)) +
                              leaves);
        if (!region_inside(trianglesAt, numTriangles, Md3Triangle::kSize, start, blockEnd))
            return broken(LayoutRule::record_outside,
                          where +
                              printf_text("triangle array (%lld x 12 bytes at %lld)",
                                          static_cast<long long>(numTriangles),
                                          static_cast<long long>(trianglesAt)) +
                              leaves);
        if (!region_inside(verticesAt, numVertices, Md3Vertex::kSize, start, blockEnd))
            return broken(LayoutRule::record_outside,
                          where +
                              printf_text("vertex array (%lld frames x %lld vertices x 8 "
                                          "bytes at %lld)",
                                          static_cast<long long>(surfaceFrames),
                                          static_cast<long long>(numVerts),
                                          static_cast<long long>(verticesAt)) +
                              leaves);

        const Region surfaceHeader{start, start + Md3Surface::kSize, Md3Surface::kSize,
                                   "its header"};
        const Region triangles =
            array_region(trianglesAt, numTriangles, Md3Triangle::kSize, "its triangle array");
        const Region shader{shaderAt, shaderAt + Md3Shader::kSize, Md3Shader::kSize,
                            "its shader record"};
        const Region vertices =
            array_region(verticesAt, numVertices, Md3Vertex::kSize, "its vertex array");
        for (const Region* written : {&frames, &shader, &vertices}) {
            for (const Region* steering : {&headerRegion, &surfaceHeader, &triangles}) {
                if (overlaps(*written, *steering))
                    return broken(LayoutRule::overlap,
                                  where + describe(*written) + " overlaps " + describe(*steering));
            }
        }
        // Bounds and normals are written frame by frame: if they shared bytes,
        // the result would depend on the order of the writes within a frame.
        if (overlaps(frames, vertices))
            return broken(LayoutRule::overlap,
                          where + describe(frames) + " overlaps " + describe(vertices));

        for (std::int64_t t = 0; t < numTriangles; ++t) {
            const std::uint8_t* tri = triangle_at(surface, t);
            for (int corner = 0; corner < 3; ++corner) {
                const std::int32_t index = Md3Triangle::index(tri, corner);
                if (index < 0 || index >= numVerts)
                    return broken(LayoutRule::triangle_index,
                                  where + printf_text("triangle %lld uses vertex %d of %lld "
                                                      "(corner %d, at %lld)",
                                                      static_cast<long long>(t), index,
                                                      static_cast<long long>(numVerts), corner,
                                                      static_cast<long long>(tri - header)));
            }
        }
        start = blockEnd;
    }
    return {};
}
