// Rebuilding a surface's vertex normals and widening the frames' bounds by
// its positions, frame by frame.
//
// Normals and bounds are computed a whole surface frame at a time over plain
// float arrays, so that the compiler can run the arithmetic on vector units.
// Every value is still computed with the same float operations in the same
// order as one vertex and one triangle at a time would (vector square roots,
// divisions and products round exactly like scalar ones, and nothing is fused
// or reassociated), so the bytes written do not depend on how it is run, nor
// on which instruction set this file was compiled for.
#include "surface_normals.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "md3_layout.hpp"
#include "pack_normal.hpp"
#include "pass_steps.hpp"
#include "weld.hpp"

#ifndef MD3_KERNEL
#define MD3_KERNEL kernel_baseline
#endif

// This file's own functions are compiled for MD3_KERNEL_TARGET when it is
// set, and everything included above is not: an inline function from a
// header may still be emitted here out of line, and the linker may then pick
// this copy for the whole program, where it must run on any processor.

namespace md3 {
#ifdef MD3_KERNEL_TARGET
#define MD3_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define MD3_TARGET_BEGIN(isa) \
    MD3_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define MD3_TARGET_END MD3_PRAGMA(clang attribute pop)
#else
#define MD3_TARGET_BEGIN(isa) MD3_PRAGMA(GCC push_options) MD3_PRAGMA(GCC target(isa))
#define MD3_TARGET_END MD3_PRAGMA(GCC pop_options)
#endif
MD3_TARGET_BEGIN(MD3_KERNEL_TARGET)
#endif

namespace MD3_KERNEL {
namespace {

// Two vertices as stored, eight int16 lanes (x y z normal x y z normal), and
// the same lanes as floats.
using Short8 = std::int16_t __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));

// Decodes the frame's positions and widens the frame's running bounds by
// them. The bounds are taken over the stored integers: decoding is exact and
// keeps their order, and min and max are exact, so nothing changes by taking
// them a surface frame at a time.
//
// Meanwhile, unless this is the surface's last frame, the next frame's
// vertices (which follow these) are fetched into the cache: a frame's work is
// long enough for the hardware to stop streaming ahead, and the pass would
// otherwise wait on each frame's first loads from the model (measured in
// bench/README.md). The next frame is found here rather than passed in, so
// that no second vertex pointer can be given in the wrong place.
void decode_positions(const std::uint8_t* vertices, int numVerts, bool fetchNext,
                      RepairWorkspace& work, std::uint8_t* frame) {
    const std::uint8_t* next = fetchNext ? vertices + numVerts * Md3Vertex::kSize : vertices;
    std::int16_t lo[3] = {INT16_MAX, INT16_MAX, INT16_MAX},
                 hi[3] = {INT16_MIN, INT16_MIN, INT16_MIN};
    int v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Where the stored byte order is the host's, two vertices at a time
        // straight from the buffer, their normal lanes zeroed.
        constexpr Short8 kPositionLanes = {-1, -1, -1, 0, -1, -1, -1, 0};
        Short8 low = {INT16_MAX, INT16_MAX, INT16_MAX, 0, INT16_MAX, INT16_MAX, INT16_MAX, 0};
        Short8 high = {INT16_MIN, INT16_MIN, INT16_MIN, 0, INT16_MIN, INT16_MIN, INT16_MIN, 0};
        for (; v + 2 <= numVerts; v += 2) {
            Short8 pair;
            std::memcpy(&pair, vertices + v * Md3Vertex::kSize, sizeof pair);
            // One 64-byte line for every four pairs.
            if (v % 8 == 0) __builtin_prefetch(next + v * Md3Vertex::kSize);
            pair &= kPositionLanes;
            low = pair < low ? pair : low;
            high = pair > high ? pair : high;
            const Float8 decoded =
                __builtin_convertvector(pair, Float8) * Md3Vertex::kPositionScale;
            std::memcpy(&work.position[v], &decoded, sizeof decoded);
        }
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(low[k], low[k + 4]);
            hi[k] = std::max(high[k], high[k + 4]);
        }
    }
    for (; v < numVerts; ++v) {
        const std::uint8_t* vertex = vertices + v * Md3Vertex::kSize;
        const std::int16_t c[3] = {Md3Vertex::position(vertex, 0), Md3Vertex::position(vertex, 1),
                                   Md3Vertex::position(vertex, 2)};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
        work.position[v] =
            Float4{c[0] * Md3Vertex::kPositionScale, c[1] * Md3Vertex::kPositionScale,
                   c[2] * Md3Vertex::kPositionScale, 0.0f};
    }
    if (numVerts == 0) return;
    for (int k = 0; k < 3; ++k) {
        const float low = lo[k] * Md3Vertex::kPositionScale,
                    high = hi[k] * Md3Vertex::kPositionScale;
        if (low < Md3Frame::mins(frame, k)) Md3Frame::set_mins(frame, k, low);
        if (high > Md3Frame::maxs(frame, k)) Md3Frame::set_maxs(frame, k, high);
    }
}

// Element `slot` of an array of Float4 is this many bytes in. Loops address
// elements by precomputed byte offsets, which saves them scaling each index.
constexpr std::uint32_t byte_offset(int slot) {
    return static_cast<std::uint32_t>(slot) * sizeof(Float4);
}
inline Float4 at_offset(const Float4* array, std::uint32_t offset) {
    Float4 value;
    std::memcpy(&value, reinterpret_cast<const char*>(array) + offset, sizeof value);
    return value;
}

// Reads triangles [first, first + count) into work.i0 .. work.i2 and work.at0 .. work.at2.
void read_triangles(const std::uint8_t* surface, std::int32_t first, int count,
                    RepairWorkspace& work) {
    for (int t = 0; t < count; ++t) {
        const std::uint8_t* tri = triangle_at(surface, std::int64_t{first} + t);
        work.i0[t] = Md3Triangle::index(tri, 0);
        work.i1[t] = Md3Triangle::index(tri, 1);
        work.i2[t] = Md3Triangle::index(tri, 2);
        work.at0[t] = byte_offset(work.i0[t]);
        work.at1[t] = byte_offset(work.i1[t]);
        work.at2[t] = byte_offset(work.i2[t]);
    }
}

// Lists, for each vertex, the triangles that use it, in triangle order.
void build_incidence(int numTriangles, int numVerts, RepairWorkspace& work) {
    std::fill_n(work.firstCorner, numVerts + 1, 0);
    for (int t = 0; t < numTriangles; ++t)
        for (const int v : {work.i0[t], work.i1[t], work.i2[t]}) ++work.firstCorner[v + 1];
    for (int v = 0; v < numVerts; ++v) work.firstCorner[v + 1] += work.firstCorner[v];
    std::copy_n(work.firstCorner, numVerts, work.nextCorner);
    for (int t = 0; t < numTriangles; ++t)
        for (const int v : {work.i0[t], work.i1[t], work.i2[t]})
            work.corners[work.nextCorner[v]++] = t;
    work.numNextLists = 0;
    work.numLongLists = 0;
    for (int v = 0; v < numVerts; ++v) {
        const int first = work.firstCorner[v], uses = work.firstCorner[v + 1] - first;
        for (int k = 0; k < kShortList; ++k)
            work.shortList[v][k] =
                byte_offset(k < uses ? work.corners[first + k] : kMaxKeptTriangles);
        if (uses > kShortList) {
            const int i = work.numNextLists++;
            work.nextVertices[i] = v;
            for (int k = kShortList; k < kShortList + kNextList; ++k)
                work.nextLists[i][k - kShortList] =
                    byte_offset(k < uses ? work.corners[first + k] : kMaxKeptTriangles);
        }
        if (uses > kShortList + kNextList) work.longLists[work.numLongLists++] = v;
    }
}

// Lanes of a Float4 in another order.
#if defined(__clang__)
#define MD3_SHUFFLE(v, a, b, c, d) __builtin_shufflevector(v, v, a, b, c, d)
#else
using Int4 = std::int32_t __attribute__((vector_size(16)));
#define MD3_SHUFFLE(v, a, b, c, d) __builtin_shuffle(v, Int4{a, b, c, d})
#endif

// Unit face normals of triangles 0 .. count-1 of work.at0 .. work.at2 in the
// decoded frame; zero for a degenerate triangle.
void face_normals(int count, RepairWorkspace& work) {
    for (int t = 0; t < count; ++t) {
        const Float4 p0 = at_offset(work.position, work.at0[t]);
        const Float4 e1 = at_offset(work.position, work.at1[t]) - p0,
                     e2 = at_offset(work.position, work.at2[t]) - p0;
        // e2 x e1 = (e2.y e1.z - e2.z e1.y, e2.z e1.x - e2.x e1.z, e2.x e1.y - e2.y e1.x),
        // with one shuffle fewer: the same products, subtracted in the same
        // order, are formed a lane early and then moved into place.
        const Float4 early = e2 * MD3_SHUFFLE(e1, 1, 2, 0, 3) - MD3_SHUFFLE(e2, 1, 2, 0, 3) * e1;
        work.cross[t] = MD3_SHUFFLE(early, 1, 2, 0, 3);
    }
    for (int t = 0; t < count; ++t) {
        const float nx = work.cross[t][0], ny = work.cross[t][1], nz = work.cross[t][2];
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        work.inverse[t] = length != 0.0f ? 1.0f / length : 0.0f;
    }
    // A degenerate triangle's normal comes out as zeros without a test of
    // its own. Its length is 0 only when its cross product is all zeros:
    // positions are multiples of 1/64, so every product and difference in
    // the cross product, rounded or not, is a multiple of 2^-12, and a
    // nonzero component's square cannot underflow. Some of those zeros may
    // be -0; adding them changes no sum, as a sum is never -0 (it starts at
    // +0, and only -0 + -0 gives -0).
    // As plain floats, four lanes to a triangle, the loop runs on the
    // widest vectors at hand.
    const float* cross = reinterpret_cast<const float*>(work.cross);
    float* normal = reinterpret_cast<float*>(work.normal);
    for (int t = 0; t < count; ++t)
        for (int k = 0; k < 4; ++k) normal[4 * t + k] = cross[4 * t + k] * work.inverse[t];
}

// Tells the workspace's watcher, if it has one, which of the triangles
// first .. first + count - 1 of the surface that face_normals has just made
// normals for (its triangles 0 .. count-1) have a zero cross product in the
// frame: those whose inverse length is 0.
void tell_zero_crosses(const std::uint8_t* surface, std::int32_t frame, std::int32_t first,
                       int count, const RepairWorkspace& work) {
    const ZeroCrossWatch* watch = work.watch;
    if (watch == nullptr) return;
    // Most frames have none: looking for one first runs on vector units.
    int zeros = 0;
    for (int t = 0; t < count; ++t) zeros += work.inverse[t] == 0.0f;
    if (zeros == 0) return;
    for (int t = 0; t < count; ++t)
        if (work.inverse[t] == 0.0f) watch->zero_cross(watch->context, surface, frame, first + t);
}

// Every triangle adds its unit face normal once at each of its corners,
// whatever its area, in triangle order; degenerate triangles add nothing.
// With the incidence lists, each vertex sums its own triangles in order: the
// same additions in the same order as visiting the triangles one by one,
// since adding +0 to a sum that starts at +0 changes nothing.
void sum_kept_normals(int numTriangles, int numVerts, RepairWorkspace& work) {
    face_normals(numTriangles, work);
    work.normal[kMaxKeptTriangles] = Float4{};
    // Every vertex adds the first kShortList normals of its list, the
    // padding adding zeros, so no branch depends on how many triangles use
    // it; the vertices with longer lists then go on where they stopped, the
    // same way, and the few with longer lists still one normal at a time.
    for (int v = 0; v < numVerts; ++v) {
        Float4 sum{};
        for (int k = 0; k < kShortList; ++k) sum += at_offset(work.normal, work.shortList[v][k]);
        work.sum[v] = sum;
    }
    for (int i = 0; i < work.numNextLists; ++i) {
        const int v = work.nextVertices[i];
        Float4 sum = work.sum[v];
        for (int k = 0; k < kNextList; ++k) sum += at_offset(work.normal, work.nextLists[i][k]);
        work.sum[v] = sum;
    }
    for (int i = 0; i < work.numLongLists; ++i) {
        const int v = work.longLists[i];
        Float4 sum = work.sum[v];
        const int firstMore = work.firstCorner[v] + kShortList + kNextList;
        for (int c = firstMore; c < work.firstCorner[v + 1]; ++c)
            sum += work.normal[work.corners[c]];
        work.sum[v] = sum;
    }
}

// The same sums for a surface with too many triangles to keep: a batch of
// triangles at a time, each adding its normal to its corners in order.
void sum_normals_in_batches(const std::uint8_t* surface, std::int32_t frame, int numVerts,
                            RepairWorkspace& work) {
    std::fill_n(work.sum, numVerts, Float4{});
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    for (std::int32_t first = 0; first < numTriangles; first += kTriangleBatch) {
        const int count =
            static_cast<int>(std::min<std::int32_t>(kTriangleBatch, numTriangles - first));
        read_triangles(surface, first, count, work);
        face_normals(count, work);
        tell_zero_crosses(surface, frame, first, count, work);
        for (int t = 0; t < count; ++t) {
            // A degenerate triangle's zero normal changes no sum.
            work.sum[work.i0[t]] += work.normal[t];
            work.sum[work.i1[t]] += work.normal[t];
            work.sum[work.i2[t]] += work.normal[t];
        }
    }
}

// Codes in RepairWorkspace::packed besides packed normals.
constexpr int kKeepNormal = -1;   // the sum is zero
constexpr int kPackExactly = -2;  // an estimate is too close to a unit boundary

// The unit normal of a vertex's sum; the same operations wherever it is taken.
struct UnitNormal {
    float x, y, z, length;
};
inline UnitNormal unit_normal(float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    const float inverse = 1.0f / length;  // unused when length is 0
    return {x * inverse, y * inverse, z * inverse, length};
}

// Normalises the sums and stores each vertex's packed normal. A vertex whose
// sum is zero (unused, or contributions that cancel) keeps its old normal.
//
// Both angles are first estimated for all vertices at once, which runs on
// vector units; the few vertices whose estimates cannot be trusted, or that
// lie on an axis, are then packed one by one with atan2 and the polar tables.
void store_normals(std::uint8_t* vertices, int numVerts, const PolarTables& polar,
                   RepairWorkspace& work) {
    // The sums as plain floats, four to a vertex, which the vectoriser reads
    // more readily than lanes of vectors. (Vector types alias their lanes.)
    // Each step is a loop of its own: short loops keep many vertices in
    // flight at once, where one long loop would wait on its own chain of
    // square roots, divisions and polynomial.
    const float* sums = reinterpret_cast<const float*>(work.sum);
    for (int v = 0; v < numVerts; ++v) {
        // A zero sum gives NaNs here, and the zero length overrides whatever
        // follows from them.
        const UnitNormal n = unit_normal(sums[4 * v], sums[4 * v + 1], sums[4 * v + 2]);
        work.ux[v] = n.x;
        work.uy[v] = n.y;
        work.uz[v] = n.z;
        work.length[v] = n.length;
    }
    for (int v = 0; v < numVerts; ++v)
        work.azimuth[v] = trusted_units(azimuth_estimate(work.ux[v], work.uy[v]));
    for (int v = 0; v < numVerts; ++v) work.polar[v] = trusted_units(polar_estimate(work.uz[v]));
    for (int v = 0; v < numVerts; ++v) {
        // One condition at a time, which the vectoriser handles better than
        // a combined condition.
        int packed = combine_units(work.azimuth[v], work.polar[v]);
        packed = work.azimuth[v] == kUntrusted ? kPackExactly : packed;
        packed = work.polar[v] == kUntrusted ? kPackExactly : packed;
        packed = work.ux[v] == 0.0f ? kPackExactly : packed;
        packed = work.uy[v] == 0.0f ? kPackExactly : packed;
        work.packed[v] = work.length[v] == 0.0f ? kKeepNormal : packed;
    }
    for (int v = 0; v < numVerts; ++v) {
        int packed = work.packed[v];
        if (packed == kKeepNormal) continue;
        if (packed == kPackExactly)
            packed = pack_normal_fast(polar, work.ux[v], work.uy[v], work.uz[v]);
        Md3Vertex::set_normal(vertices + v * Md3Vertex::kSize, static_cast<std::uint16_t>(packed));
    }
}

}  // namespace

void rebuild_surface_normals(std::uint8_t* model, std::uint8_t* surface, const PolarTables& polar,
                             RepairWorkspace& work, NormalMode mode, float creaseCosine) {
    const std::int32_t numFrames = Md3Surface::numFrames(surface);
    const std::int32_t numVerts = Md3Surface::numVerts(surface);
    const std::int32_t numTriangles = Md3Surface::numTriangles(surface);
    if (mode == NormalMode::keep) {
        // Only the bounds: the positions are decoded and no normal is written.
        for (std::int32_t j = 0; j < numFrames; ++j)
            decode_positions(vertex_frame(surface, j), numVerts, j + 1 < numFrames, work,
                             frame_at(model, j));
        return;
    }
    const bool weld = mode == NormalMode::weld;
    if (weld) find_position_groups(surface, work);
    const bool kept = numTriangles <= kMaxKeptTriangles;
    if (kept) {
        read_triangles(surface, 0, numTriangles, work);
        build_incidence(numTriangles, numVerts, work);
    }
    for (std::int32_t j = 0; j < numFrames; ++j) {
        std::uint8_t* vertices = vertex_frame(surface, j);
        decode_positions(vertices, numVerts, j + 1 < numFrames, work, frame_at(model, j));
        if (kept) {
            sum_kept_normals(numTriangles, numVerts, work);
            tell_zero_crosses(surface, j, 0, numTriangles, work);
        } else {
            sum_normals_in_batches(surface, j, numVerts, work);
        }
        if (weld && work.numWeldGroups > 0) {
            // Which copies weld is decided once, on the first frame, and
            // holds for every frame.
            if (j == 0) split_creases(creaseCosine, work);
            weld_sums(work);
        }
        store_normals(vertices, numVerts, polar, work);
    }
}

}  // namespace MD3_KERNEL

#ifdef MD3_KERNEL_TARGET
MD3_TARGET_END
#endif

}  // namespace md3
