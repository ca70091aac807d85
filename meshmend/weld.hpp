// The weld mode's work beside the rebuild: finding the copies of a vertex
// that are one point of one smooth surface, and giving them one normal.
// Compiled once for the whole program, so that every instruction set's copy
// of the vertex work groups and adds exactly alike.
#pragma once

#include <cstdint>

#include "workspace.hpp"

namespace md3 {

// Finds the groups of two or more vertices of `surface` that sit at the same
// position in every frame, comparing the stored integers, and leaves them in
// weldVertex, weldFirst and numWeldGroups, each group in vertex order. Both
// this and split_creases work in work.weld, and so overwrite the cross
// products: neither may run while face normals are made. The surface must
// have at most kMaxSurfaceVerts vertices. Sorts rather than hashes, so the
// groups never depend on anything but the positions.
void find_position_groups(const std::uint8_t* surface, RepairWorkspace& work);

// Splits each group into the copies that weld, from the normal sums of the
// first frame in work.sum: taking the copies in vertex order, each joins the
// first cluster whose every member's unit normal is within the crease of its
// own (a dot product of at least `creaseCosine`), or starts a cluster of its
// own. A copy whose sum is zero has no normal to compare and is left out.
// Only clusters of two or more are kept; they are the groups from then on.
void split_creases(float creaseCosine, RepairWorkspace& work);

// Gives every member of a group the sum of its members' sums, added in
// vertex order. A group whose sum is zero (its sides cancel in this frame)
// keeps its members' own sums.
void weld_sums(RepairWorkspace& work);

}  // namespace md3
