// MD3 model layout: record sizes, field offsets and little-endian accessors over
// the bytes of a loaded model.
//
// A record is named by a pointer to its first byte inside the ModelBuffer; every
// accessor reads or writes that field in place. Fields are assembled byte by byte
// so that a big-endian host reads the same values as a little-endian one.
//
// The accessors trust their pointer: callers only reach records that
// validate_layout (or the caller's own check) has proved to lie inside the buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "model_buffer.hpp"

namespace md3 {

// The whole model file, as read from disk. Records are patched in place and the
// bytes are written back out; nothing is ever copied into separate objects.
using ModelBuffer = std::vector<std::uint8_t, ModelAllocator<std::uint8_t>>;

inline std::uint16_t get_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t get_i16(const std::uint8_t* p) { return static_cast<std::int16_t>(get_u16(p)); }
inline std::uint32_t get_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t get_i32(const std::uint8_t* p) { return static_cast<std::int32_t>(get_u32(p)); }
inline float get_f32(const std::uint8_t* p) { return std::bit_cast<float>(get_u32(p)); }

inline void put_u16(std::uint8_t* p, std::uint16_t v) {
    // One store where the host's byte order is the file's: compilers do not
    // always merge the two byte stores, and normals are written by the million.
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
}
inline void put_u32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void put_i32(std::uint8_t* p, std::int32_t v) { put_u32(p, static_cast<std::uint32_t>(v)); }
inline void put_f32(std::uint8_t* p, float v) { put_u32(p, std::bit_cast<std::uint32_t>(v)); }

// Text of a fixed-size, NUL-terminated character field; a field with no NUL ends
// at its last byte.
inline std::string_view field_text(const std::uint8_t* p, std::size_t size) {
    const char* s = reinterpret_cast<const char*>(p);
    const void* nul = std::memchr(s, 0, size);
    return {s, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - s) : size};
}

inline constexpr std::size_t kNameSize = 64;  // every name field of the format

// Vertices one surface may have for the repair pass: the size of its normal
// accumulator. Larger surfaces are refused, not repaired.
inline constexpr std::int32_t kMaxSurfaceVerts = 1024;

// Model header, at offset 0 of the file. The k-constants named after a field
// are that field's byte offset from the header's start.
namespace Md3Header {
inline constexpr std::int64_t kSize = 108;
inline constexpr std::int32_t kFormatVersion = 15;  // the only version the tools accept
inline constexpr std::int64_t kIdent = 0;
inline constexpr std::int64_t kVersion = 4;
inline constexpr std::int64_t kName = 8;
inline constexpr std::int64_t kFlags = 72;
inline constexpr std::int64_t kNumFrames = 76;
inline constexpr std::int64_t kNumTags = 80;
inline constexpr std::int64_t kNumSurfaces = 84;
inline constexpr std::int64_t kNumSkins = 88;
inline constexpr std::int64_t kOfsFrames = 92;
inline constexpr std::int64_t kOfsTags = 96;
inline constexpr std::int64_t kOfsSurfaces = 100;
inline constexpr std::int64_t kOfsEnd = 104;
inline bool has_ident(const std::uint8_t* h) { return std::memcmp(h + kIdent, "IDP3", 4) == 0; }
inline std::int32_t version(const std::uint8_t* h) { return get_i32(h + kVersion); }
inline std::uint8_t* name(std::uint8_t* h) { return h + kName; }
inline const std::uint8_t* name(const std::uint8_t* h) { return h + kName; }
inline std::int32_t numFrames(const std::uint8_t* h) { return get_i32(h + kNumFrames); }
inline std::int32_t numTags(const std::uint8_t* h) { return get_i32(h + kNumTags); }
inline std::int32_t numSurfaces(const std::uint8_t* h) { return get_i32(h + kNumSurfaces); }
inline std::int32_t ofsFrames(const std::uint8_t* h) { return get_i32(h + kOfsFrames); }
inline std::int32_t ofsTags(const std::uint8_t* h) { return get_i32(h + kOfsTags); }
inline std::int32_t ofsSurfaces(const std::uint8_t* h) { return get_i32(h + kOfsSurfaces); }
inline std::int32_t ofsEnd(const std::uint8_t* h) { return get_i32(h + kOfsEnd); }
}  // namespace Md3Header

// One frame's bounds, frame i at ofsFrames + 56 * i. Axis k is 0, 1, 2 for x, y, z.
namespace Md3Frame {
inline constexpr std::int64_t kSize = 56;
inline constexpr std::int64_t kMins = 0;
inline constexpr std::int64_t kMaxs = 12;
inline constexpr std::int64_t kLocalOrigin = 24;
inline constexpr std::int64_t kRadius = 36;
inline constexpr std::int64_t kName = 40;
inline constexpr std::size_t kNameSize = 16;  // shorter than the other names
inline float mins(const std::uint8_t* f, int k) { return get_f32(f + kMins + 4 * k); }
inline float maxs(const std::uint8_t* f, int k) { return get_f32(f + kMaxs + 4 * k); }
inline float localOrigin(const std::uint8_t* f, int k) { return get_f32(f + kLocalOrigin + 4 * k); }
inline float radius(const std::uint8_t* f) { return get_f32(f + kRadius); }
inline void set_mins(std::uint8_t* f, int k, float v) { put_f32(f + kMins + 4 * k, v); }
inline void set_maxs(std::uint8_t* f, int k, float v) { put_f32(f + kMaxs + 4 * k, v); }
inline void set_localOrigin(std::uint8_t* f, int k, float v) {
    put_f32(f + kLocalOrigin + 4 * k, v);
}
inline void set_radius(std::uint8_t* f, float v) { put_f32(f + kRadius, v); }
}  // namespace Md3Frame

// Surface header, at the start of each surface block. Its offsets count from
// the surface start, and so do the k-constants named after its fields.
namespace Md3Surface {
inline constexpr std::int64_t kSize = 108;
inline constexpr std::int64_t kIdent = 0;
inline constexpr std::int64_t kName = 4;
inline constexpr std::int64_t kFlags = 68;
inline constexpr std::int64_t kNumFrames = 72;
inline constexpr std::int64_t kNumShaders = 76;
inline constexpr std::int64_t kNumVerts = 80;
inline constexpr std::int64_t kNumTriangles = 84;
inline constexpr std::int64_t kOfsTriangles = 88;
inline constexpr std::int64_t kOfsShaders = 92;
inline constexpr std::int64_t kOfsSt = 96;
inline constexpr std::int64_t kOfsXyzNormals = 100;
inline constexpr std::int64_t kOfsEnd = 104;
inline const std::uint8_t* name(const std::uint8_t* s) { return s + kName; }
inline std::int32_t numFrames(const std::uint8_t* s) { return get_i32(s + kNumFrames); }
inline std::int32_t numShaders(const std::uint8_t* s) { return get_i32(s + kNumShaders); }
inline std::int32_t numVerts(const std::uint8_t* s) { return get_i32(s + kNumVerts); }
inline std::int32_t numTriangles(const std::uint8_t* s) { return get_i32(s + kNumTriangles); }
inline std::int32_t ofsTriangles(const std::uint8_t* s) { return get_i32(s + kOfsTriangles); }
inline std::int32_t ofsShaders(const std::uint8_t* s) { return get_i32(s + kOfsShaders); }
inline std::int32_t ofsXyzNormals(const std::uint8_t* s) { return get_i32(s + kOfsXyzNormals); }
inline std::int32_t ofsEnd(const std::uint8_t* s) { return get_i32(s + kOfsEnd); }
}  // namespace Md3Surface

// Tag record: a name, an origin and an axis; numTags of them per frame,
// frame after frame, from ofsTags. Only the name is ever looked at.
namespace Md3Tag {
inline constexpr std::int64_t kSize = 112;
inline constexpr std::int64_t kName = 0;
inline const std::uint8_t* name(const std::uint8_t* tag) { return tag + kName; }
}  // namespace Md3Tag

// Shader record; only its name is ever looked at.
namespace Md3Shader {
inline constexpr std::int64_t kSize = 68;
inline constexpr std::int64_t kName = 0;
inline constexpr std::int64_t kShaderIndex = 64;
inline std::uint8_t* name(std::uint8_t* sh) { return sh + kName; }
inline const std::uint8_t* name(const std::uint8_t* sh) { return sh + kName; }
}  // namespace Md3Shader

// Triangle: three vertex indices, in winding order.
namespace Md3Triangle {
inline constexpr std::int64_t kSize = 12;
inline std::int32_t index(const std::uint8_t* t, int corner) { return get_i32(t + 4 * corner); }
}  // namespace Md3Triangle

// Vertex: position as int16 fixed point (model units * 64) and a packed normal.
namespace Md3Vertex {
inline constexpr std::int64_t kSize = 8;
inline constexpr float kPositionScale = 0.015625f;
inline constexpr std::int64_t kPosition = 0;  // x, y, z, two bytes each
inline constexpr std::int64_t kNormal = 6;
inline std::int16_t position(const std::uint8_t* v, int k) {
    return get_i16(v + kPosition + 2 * k);
}
inline void set_position(std::uint8_t* v, int k, std::int16_t c) {
    put_u16(v + kPosition + 2 * k, static_cast<std::uint16_t>(c));
}
inline std::uint16_t normal(const std::uint8_t* v) { return get_u16(v + kNormal); }
inline void set_normal(std::uint8_t* v, std::uint16_t packed) { put_u16(v + kNormal, packed); }
}  // namespace Md3Vertex

// Where records are, from the offsets the file carries. Each works on a
// mutable or a read-only model alike; like the field accessors, they trust
// that validate_layout accepted the model.

// Frame i of the model, at ofsFrames + 56 * i.
inline std::int64_t frame_offset(const std::uint8_t* model, std::int64_t i) {
    return Md3Header::ofsFrames(model) + i * Md3Frame::kSize;
}
template <typename Byte>
Byte* frame_at(Byte* model, std::int64_t i) {
    return model + frame_offset(model, i);
}

// The first shader record of a surface, the only one the tools look at.
template <typename Byte>
Byte* shader_at(Byte* surface) {
    return surface + Md3Surface::ofsShaders(surface);
}

// Triangle t of a surface.
template <typename Byte>
Byte* triangle_at(Byte* surface, std::int64_t t) {
    return surface + Md3Surface::ofsTriangles(surface) + t * Md3Triangle::kSize;
}

// The first vertex of frame j of a surface; vertex v of that frame lies
// v * Md3Vertex::kSize bytes further.
template <typename Byte>
Byte* vertex_frame(Byte* surface, std::int64_t j) {
    return surface + Md3Surface::ofsXyzNormals(surface) +
           j * Md3Surface::numVerts(surface) * Md3Vertex::kSize;
}

// Offset of the surface that follows the one at offset `at`: each surface
// block is followed by the next one.
inline std::int64_t next_surface_offset(const std::uint8_t* model, std::int64_t at) {
    return at + Md3Surface::ofsEnd(model + at);
}

// Calls visit(surface, s) for each surface s of the model in file order, the
// first at ofsSurfaces, until visit returns false. Returns false when it was
// stopped that way.
template <typename Byte, typename Visit>
bool for_each_surface(Byte* model, Visit&& visit) {
    const std::int32_t numSurfaces = Md3Header::numSurfaces(model);
    std::int64_t at = Md3Header::ofsSurfaces(model);
    for (std::int32_t s = 0; s < numSurfaces; ++s) {
        if (!visit(model + at, s)) return false;
        at = next_surface_offset(model, at);
    }
    return true;
}

// Offset of surface `index` (at most numSurfaces), walked through the file.
inline std::int64_t surface_offset(const std::uint8_t* model, std::int32_t index) {
    std::int64_t at = Md3Header::ofsSurfaces(model);
    for (std::int32_t s = 0; s < index; ++s) at = next_surface_offset(model, at);
    return at;
}

}  // namespace md3
