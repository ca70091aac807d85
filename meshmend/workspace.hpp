// The repair pass's working storage, owned by whoever runs the pass.
#pragma once

#include <cstdint>

#include "md3_layout.hpp"

namespace md3 {

// A surface's triangles and their incidence lists are kept for all its
// frames when they fit here; larger surfaces are processed a batch of
// triangles at a time instead.
constexpr int kMaxKeptTriangles = 4096;
constexpr int kTriangleBatch = 256;

// x, y, z and an unused lane: one normal, added as one vector.
using Float4 = float __attribute__((vector_size(16)));

// Working storage of the pass, reused for every surface and frame: fixed
// size, so the pass allocates nothing while it runs. The caller owns it, so
// that separate runs (two models, or a copy beside its original, or two
// threads) never share it. Arrays are padded to kVertexSlots and
// kTriangleSlots so that they do not all start at the same offset within a
// 4 KiB page, which would make the processor see false dependencies between
// loads from one array and stores to another.
constexpr int kVertexSlots = kMaxSurfaceVerts + 16;
constexpr int kTriangleSlots = kMaxKeptTriangles + 16;
// Each vertex of a closed mesh is used six times on average: most incidence
// lists fit the short list, most of the rest the next one.
constexpr int kShortList = 6;
constexpr int kNextList = 2;
// What the weld search works in while it finds a surface's groups of copies
// and splits them at creases: each vertex's position in one frame as one
// number, the marks where a group begins among the members, and a member's
// unit normal, its cluster and the clusters' members as they are listed.
struct WeldScratch {
    std::uint64_t key[kVertexSlots];
    bool start[kVertexSlots + 1];
    Float4 unit[kVertexSlots];
    int cluster[kVertexSlots];
    int members[kVertexSlots];
};
// What the owner of a workspace may have the pass tell it: each triangle
// whose cross product comes out as zeros in a frame, by the surface it
// belongs to (as the pass sees it), the frame and its number in the surface.
// Every triangle with no area in a frame is told of, as are the few whose
// rounded products cancel though the exact ones do not. Only told while
// normals are rebuilt.
struct ZeroCrossWatch {
    void (*zero_cross)(void* context, const std::uint8_t* surface, std::int32_t frame,
                       std::int32_t triangle);
    void* context;
};
struct RepairWorkspace {
    // One frame's decoded positions and its vertices' normal sums.
    Float4 position[kVertexSlots];
    Float4 sum[kVertexSlots];
    // The unit normals of the sums, the sums' lengths, the angle units
    // estimated for them, and each vertex's packed normal or what to do
    // instead (kKeepNormal, kPackExactly).
    float ux[kVertexSlots], uy[kVertexSlots], uz[kVertexSlots];
    float length[kVertexSlots];
    int azimuth[kVertexSlots], polar[kVertexSlots];
    int packed[kVertexSlots];
    // The surface's triangles (or one batch of them): their corners as
    // vertex indices and as byte offsets into `position`, and their cross
    // products, the inverses of their lengths (0 for a degenerate one) and
    // their unit normals in the current frame.
    std::int32_t i0[kTriangleSlots], i1[kTriangleSlots], i2[kTriangleSlots];
    std::uint32_t at0[kTriangleSlots], at1[kTriangleSlots], at2[kTriangleSlots];
    //
    // The cross products are needed only while face normals are made, and
    // the weld search's scratch (see WeldScratch) only between frames, so
    // the two share their storage rather than enlarge the workspace.
    union {
        Float4 cross[kTriangleSlots];
        WeldScratch weld;
    };
    float inverse[kTriangleSlots];
    Float4 normal[kTriangleSlots];
    // For each vertex, the triangles that use it in triangle order, once per
    // use: corners[firstCorner[v] .. firstCorner[v + 1]). shortList[v] holds
    // the byte offsets into `normal` of the first kShortList of them, padded
    // with that of slot kMaxKeptTriangles, whose normal is always zero.
    // nextLists[i] holds the next kNextList, padded the same way, for vertex
    // nextVertices[i], the i-th used more often; longLists names the vertices
    // used more often still.
    int firstCorner[kVertexSlots];
    int nextCorner[kVertexSlots];
    int corners[3 * kTriangleSlots];
    std::uint32_t shortList[kVertexSlots][kShortList];
    std::uint32_t nextLists[kVertexSlots][kNextList];
    int nextVertices[kVertexSlots];
    int numNextLists;
    int longLists[kVertexSlots];
    int numLongLists;
    // Welding: the groups of copies whose normals are made one, group after
    // group, each in vertex order: weldVertex[weldFirst[g] .. weldFirst[g + 1])
    // for g < numWeldGroups.
    int weldVertex[kVertexSlots];
    int weldFirst[kVertexSlots + 1];
    int numWeldGroups;
    // Not scratch: set by the owner, or left null (meshmend does not watch).
    const ZeroCrossWatch* watch = nullptr;
};
static_assert(sizeof(WeldScratch) <= sizeof(Float4) * kTriangleSlots);

}  // namespace md3
