// Why a surface's stored normals are unrelated to its geometry, when the
// reason is one simple map: the rebuilt normals turned a quarter, half or
// three-quarter turn about an axis, mirrored in one axis, or with their two
// angle bytes swapped. A model turned or mirrored after its normals were
// made, or an exporter that packs the bytes the other way round, leaves
// exactly that.
#pragma once

#include <array>
#include <cstdint>

#include "problem_kinds.hpp"

namespace md3 {

struct CheckWorkspace;

enum class NormalMapKind { turn, mirror, swap };

// One map from a rebuilt normal to the stored one: stored = map(rebuilt).
// A turn is right-handed: a positive angle turns counter-clockwise as seen
// looking down the axis from its positive end towards the origin, so +90
// degrees about Z takes +X to +Y, about X takes +Y to +Z, about Y takes +Z
// to +X. A mirror negates one coordinate; a swap exchanges the polar and
// azimuth bytes of the packed normal.
struct NormalMap {
    NormalMapKind kind = NormalMapKind::turn;
    int axis = 0;     // 0, 1, 2 for X, Y, Z; unused by a swap
    int degrees = 0;  // a turn's: 90, 180 or -90 (a three-quarter turn)
};

// Every map tried: the turns about X, Y and Z (+90, 180, -90 each), the
// mirrors in X, Y and Z, the swap.
inline constexpr int kNormalMaps = 13;
const std::array<NormalMap, kNormalMaps>& normal_maps();

// "x", "y", "z".
const char* axis_name(int axis);

// A map fits when the median angle between the stored normals and the
// rebuilt ones under it, over every vertex-frame of the surface, is at most
// this, and it is named only when it is the one map that fits. Quantisation
// alone leaves a median of about 1.4 degrees. On the OpenArena models
// (doc/calibration.md), of the broken surfaces whose normals spread enough,
// 25 are the rebuilt normals turned a quarter turn about Z to within 2.1 to
// 8.5 degrees (player parts, the grapple), 3 more to within 16 to 18.4 (the
// bodies and arms of the same players); the next are 34 to 41 degrees off
// (a belt, hands, a hook), and any other map on any of them, or any map on
// the other broken surfaces, 57 degrees or more. The threshold sits in the
// gap above 18.4: a map that leaves more than that explains too little to
// be named, where a random direction is 90 degrees off.
inline constexpr double kFittedDegrees = 20.0;

// A map is named only when the rebuilt normals spread in all three
// directions: the smallest eigenvalue of their second-moment matrix (the
// mean of n n^T, whose eigenvalues add up to 1) at least this. A flat
// surface fits a map followed by any turn about its normal as well as the
// map alone, and normals near a plane come close to that: two maps that
// differ only across the weakest direction move a normal by twice the
// angle its component across it makes, which at an eigenvalue of 0.05 (that
// component 0.22 at its root mean square) is some 25 degrees, about the fit
// threshold. A sphere or a box gives 1/3; on the OpenArena models the turned
// surfaces give 0.062 (hair) to 0.31, while the broken palm fronds (0.032 to
// 0.036) and flat sprites (0) would fit one map alone without this test.
inline constexpr double kSpreadEigenvalue = 0.05;

// How each map fits one surface: the median angle left under it, and the
// spread of the rebuilt normals.
struct NormalFit {
    std::array<double, kNormalMaps> medianDegrees{};
    double spread = 0;  // the smallest eigenvalue, see kSpreadEigenvalue
    int fitted = -1;    // the one map within kFittedDegrees when spread allows, else -1
};

// Fits every map to the surface at `surface` in `model`, whose rebuilt
// normals are at the same offsets in `copy` (meshmend's copy of the model).
// Medians are found to a few hundredths of a degree (at 3 degrees and beyond)
// in two passes over the surface, with no memory that grows with it.
NormalFit fit_normal_maps(const std::uint8_t* model, const std::uint8_t* copy,
                          const std::uint8_t* surface);

// Turns a normals_broken problem `p` of the surface at `surface` into the
// cause the fit finds (normals_turned, normals_mirrored or normals_swapped,
// with its figures and message), when meshmend's copy is there to compare
// with and exactly one map explains the stored normals; else leaves it.
void name_normal_cause(const std::uint8_t* model, CheckWorkspace& workspace,
                       const std::uint8_t* surface, Problem& p);

}  // namespace md3
