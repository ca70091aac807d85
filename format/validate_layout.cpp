// Layout validation: every offset, count and index a model carries, checked
// once, with the first rule broken reported in words.
#include "validate_layout.hpp"

#include <algorithm>

#include "md3_layout.hpp"
#include "text.hpp"

namespace md3 {

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

// "frame array (40 x 56 bytes at 920)"
std::string array_text(const char* what, std::int64_t count, std::int64_t size, std::int64_t at) {
    return printf_text("%s (%lld x %lld bytes at %lld)", what, static_cast<long long>(count),
                       static_cast<long long>(size), static_cast<long long>(at));
}

// "its header (108 bytes at 2048)"
std::string record_text(const char* what, std::int64_t size, std::int64_t at) {
    return printf_text("%s (%lld bytes at %lld)", what, static_cast<long long>(size),
                       static_cast<long long>(at));
}

std::string describe(const Region& r) {
    if (r.end - r.begin == r.size) return record_text(r.what, r.size, r.begin);
    return array_text(r.what, (r.end - r.begin) / r.size, r.size, r.begin);
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

// What the walk has established about the model before it reaches the
// surfaces: where it ends, its frame count, and the two regions every surface
// is compared with.
struct ModelBounds {
    std::int64_t end = 0;
    std::int64_t numFrames = 0;
    Region header;
    Region frames;
};

// The header's own fields, then its frame array: everything that does not
// depend on a surface.
LayoutVerdict check_header(std::span<const std::uint8_t> model, std::int64_t length,
                           ModelBounds& bounds) {
    const std::uint8_t* header = model.data();
    const std::int64_t held = static_cast<std::int64_t>(model.size());
    const std::int64_t fileSize = length >= 0 ? length : held;
    if (fileSize < Md3Header::kSize || held < Md3Header::kSize)
        return broken(LayoutRule::too_short,
                      printf_text("file of %lld bytes is shorter than a model header (%lld bytes)",
                                  static_cast<long long>(std::min(fileSize, held)),
                                  static_cast<long long>(Md3Header::kSize)));
    if (!Md3Header::has_ident(header))
        return broken(
            LayoutRule::magic,
            "not an MD3 model: magic " +
                quote_name({reinterpret_cast<const char*>(header + Md3Header::kIdent), 4}));
    if (Md3Header::version(header) != Md3Header::kFormatVersion)
        return broken(LayoutRule::version,
                      printf_text("version %d, expected %d", Md3Header::version(header),
                                  Md3Header::kFormatVersion));

    const std::int64_t end = Md3Header::ofsEnd(header);
    if (end < Md3Header::kSize || end > fileSize)
        return broken(
            LayoutRule::model_end,
            printf_text("header: ofsEnd %lld is outside the file (%lld .. %lld bytes)",
                        static_cast<long long>(end), static_cast<long long>(Md3Header::kSize),
                        static_cast<long long>(fileSize)));
    // The caller holds the bytes up to an ofsEnd within the file; a caller
    // that does not gets a refusal, never a read past what it holds.
    if (end > held)
        return broken(LayoutRule::model_end,
                      printf_text("header: ofsEnd %lld is past the %lld bytes read",
                                  static_cast<long long>(end), static_cast<long long>(held)));

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
                      array_text("frame array", numFrames, Md3Frame::kSize, ofsFrames) +
                          printf_text(" does not fit in the model's %lld bytes",
                                      static_cast<long long>(end)));

    bounds.end = end;
    bounds.numFrames = numFrames;
    bounds.header = {0, Md3Header::kSize, Md3Header::kSize, "model header"};
    bounds.frames = array_region(ofsFrames, numFrames, Md3Frame::kSize, "frame array");
    if (overlaps(bounds.frames, bounds.header))
        return broken(LayoutRule::overlap,
                      describe(bounds.frames) + " overlaps the " + describe(bounds.header));
    return {};
}

// Where one surface's block and records lie, once its header has been read.
struct SurfaceExtent {
    std::int64_t start = 0;     // the surface header's offset
    std::int64_t blockEnd = 0;  // where the next surface starts
    Region header, shader, triangles, vertices;
};

// Surface s, at `start`: its header inside the model, its block, its counts.
LayoutVerdict check_surface_header(const std::uint8_t* model, const ModelBounds& bounds,
                                   std::int64_t s, std::int64_t start, SurfaceExtent& extent) {
    if (!region_inside(start, 1, Md3Surface::kSize, 0, bounds.end))
        return broken(LayoutRule::surface_outside,
                      printf_text("surface %lld: ", static_cast<long long>(s)) +
                          record_text("header", Md3Surface::kSize, start) +
                          printf_text(" does not fit in the model's %lld bytes",
                                      static_cast<long long>(bounds.end)));
    const std::uint8_t* surface = model + start;
    const std::int64_t length = Md3Surface::ofsEnd(surface);
    if (length < Md3Surface::kSize || length > bounds.end - start)
        return broken(LayoutRule::surface_end,
                      surface_prefix(s, surface) +
                          printf_text("ofsEnd %lld is outside %lld .. %lld (its header's "
                                      "size .. the bytes left in the model)",
                                      static_cast<long long>(length),
                                      static_cast<long long>(Md3Surface::kSize),
                                      static_cast<long long>(bounds.end - start)));

    const std::int64_t surfaceFrames = Md3Surface::numFrames(surface);
    const std::int64_t numVerts = Md3Surface::numVerts(surface);
    const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
    if (surfaceFrames < 0)
        return broken(LayoutRule::negative_count,
                      surface_prefix(s, surface) + negative("numFrames", surfaceFrames));
    if (numVerts < 0)
        return broken(LayoutRule::negative_count,
                      surface_prefix(s, surface) + negative("numVerts", numVerts));
    if (numTriangles < 0)
        return broken(LayoutRule::negative_count,
                      surface_prefix(s, surface) + negative("numTriangles", numTriangles));
    if (surfaceFrames > bounds.numFrames)
        return broken(
            LayoutRule::surface_frames,
            surface_prefix(s, surface) + printf_text("%lld frames, but the model has %lld",
                                                     static_cast<long long>(surfaceFrames),
                                                     static_cast<long long>(bounds.numFrames)));
    extent.start = start;
    extent.blockEnd = start + length;
    extent.header = {start, start + Md3Surface::kSize, Md3Surface::kSize, "its header"};
    return {};
}

// The surface's first shader record, triangle array and vertex array, each
// inside the surface's own block.
LayoutVerdict check_surface_arrays(const std::uint8_t* model, std::int64_t s,
                                   SurfaceExtent& extent) {
    const std::int64_t start = extent.start, blockEnd = extent.blockEnd;
    const std::uint8_t* surface = model + start;
    const std::int64_t surfaceFrames = Md3Surface::numFrames(surface);
    const std::int64_t numVerts = Md3Surface::numVerts(surface);
    const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
    const std::int64_t shaderAt = start + Md3Surface::ofsShaders(surface);
    const std::int64_t trianglesAt = start + Md3Surface::ofsTriangles(surface);
    const std::int64_t verticesAt = start + Md3Surface::ofsXyzNormals(surface);
    const std::int64_t numVertices = surfaceFrames * numVerts;  // < 2^62, no overflow
    const auto leaves = [&](std::string record) {
        return broken(
            LayoutRule::record_outside,
            surface_prefix(s, surface) + record +
                printf_text(" leaves its block (%lld .. %lld)", static_cast<long long>(start),
                            static_cast<long long>(blockEnd)));
    };
    if (!region_inside(shaderAt, 1, Md3Shader::kSize, start, blockEnd))
        return leaves(record_text("shader record", Md3Shader::kSize, shaderAt));
    if (!region_inside(trianglesAt, numTriangles, Md3Triangle::kSize, start, blockEnd))
        return leaves(array_text("triangle array", numTriangles, Md3Triangle::kSize, trianglesAt));
    if (!region_inside(verticesAt, numVertices, Md3Vertex::kSize, start, blockEnd))
        return leaves(printf_text(
            "vertex array (%lld frames x %lld vertices x %lld bytes at %lld)",
            static_cast<long long>(surfaceFrames), static_cast<long long>(numVerts),
            static_cast<long long>(Md3Vertex::kSize), static_cast<long long>(verticesAt)));

    extent.shader = {shaderAt, shaderAt + Md3Shader::kSize, Md3Shader::kSize, "its shader record"};
    extent.triangles =
        array_region(trianglesAt, numTriangles, Md3Triangle::kSize, "its triangle array");
    extent.vertices = array_region(verticesAt, numVertices, Md3Vertex::kSize, "its vertex array");
    return {};
}

// The repair pass writes the model name, the frame array, each surface's
// first shader record and each surface's vertex array. It is steered by the
// model header, the surface headers and the triangle arrays. If a written
// region overlapped a steering one, the pass's own writes would change
// counts, offsets or indices after they were checked here, so that is
// rejected. Two written regions that share bytes are rejected as well: what
// ends up in those bytes would hang on the order of the writes, and a name
// fixed and reported as done would be overwritten by bounds or normals (or
// the positions read for them changed by the name's fix).
//
// Surfaces follow one another: each starts where its predecessor's block ends
// and keeps its records inside its own block, so blocks never overlap and
// surfaces need only be compared with themselves, the header and the frames.
// The model name lies in the header, which no written region may overlap.
// Its only change ('\\' becoming '/') lowers a byte, and it cannot reach the
// counts and offsets of any surface header, nor push an overlapped triangle
// index out of range.
LayoutVerdict check_overlaps(const std::uint8_t* model, const ModelBounds& bounds, std::int64_t s,
                             const SurfaceExtent& extent) {
    const auto shared = [&](LayoutRule rule, const Region& a, const Region& b, const char* joint) {
        return broken(rule,
                      surface_prefix(s, model + extent.start) + describe(a) + joint + describe(b));
    };
    for (const Region* written : {&bounds.frames, &extent.shader, &extent.vertices}) {
        for (const Region* steering : {&bounds.header, &extent.header, &extent.triangles}) {
            if (overlaps(*written, *steering))
                return shared(LayoutRule::overlap, *written, *steering, " overlaps ");
        }
    }
    // Bounds and normals are written frame by frame: if they shared bytes,
    // the result would depend on the order of the writes within a frame.
    if (overlaps(bounds.frames, extent.vertices))
        return shared(LayoutRule::overlap, bounds.frames, extent.vertices, " overlaps ");
    if (overlaps(extent.shader, bounds.frames))
        return shared(LayoutRule::shader_overlap, extent.shader, bounds.frames, " overlaps the ");
    if (overlaps(extent.shader, extent.vertices))
        return shared(LayoutRule::shader_overlap, extent.shader, extent.vertices, " overlaps ");
    return {};
}

// Every corner of every triangle names a vertex of its surface.
LayoutVerdict check_triangles(const std::uint8_t* model, std::int64_t s, std::int64_t start) {
    const std::uint8_t* surface = model + start;
    const std::int64_t numVerts = Md3Surface::numVerts(surface);
    const std::int64_t numTriangles = Md3Surface::numTriangles(surface);
    for (std::int64_t t = 0; t < numTriangles; ++t) {
        const std::uint8_t* tri = triangle_at(surface, t);
        for (int corner = 0; corner < 3; ++corner) {
            const std::int32_t index = Md3Triangle::index(tri, corner);
            if (index < 0 || index >= numVerts)
                return broken(LayoutRule::triangle_index,
                              surface_prefix(s, surface) +
                                  printf_text("triangle %lld uses vertex %d of %lld "
                                              "(corner %d, at %lld)",
                                              static_cast<long long>(t), index,
                                              static_cast<long long>(numVerts), corner,
                                              static_cast<long long>(tri - model)));
        }
    }
    return {};
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
        case LayoutRule::shader_overlap: return "shader_overlap";
        case LayoutRule::triangle_index: return "triangle_index";
    }
    return "unknown";
}

LayoutVerdict validate_layout(std::span<const std::uint8_t> model, std::int64_t fileSize) {
    ModelBounds bounds;
    if (LayoutVerdict v = check_header(model, fileSize, bounds); !v) return v;
    const std::uint8_t* header = model.data();
    const std::int64_t numSurfaces = Md3Header::numSurfaces(header);
    std::int64_t start = Md3Header::ofsSurfaces(header);
    for (std::int64_t s = 0; s < numSurfaces; ++s) {
        SurfaceExtent extent;
        if (LayoutVerdict v = check_surface_header(header, bounds, s, start, extent); !v) return v;
        if (LayoutVerdict v = check_surface_arrays(header, s, extent); !v) return v;
        if (LayoutVerdict v = check_overlaps(header, bounds, s, extent); !v) return v;
        if (LayoutVerdict v = check_triangles(header, s, start); !v) return v;
        start = extent.blockEnd;
    }
    return {};
}

}  // namespace md3
