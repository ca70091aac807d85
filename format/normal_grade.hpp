// Grading a surface's stored normals against the ones rebuilt from its
// triangles: healthy, unrelated to the geometry (broken), or turned into the
// surface (inverted). meshcheck reports the grade and meshmend's broken mode
// rebuilds what it calls broken or inverted, so both count the same cosines
// against the same thresholds here.
#pragma once

#include <cstdint>

namespace md3 {

// Broken: normals with no relation to the geometry, told from those an
// exporter merely built another way. Quantisation alone moves a stored
// normal by up to about 2.8 degrees; exporters that weight face normals by
// angle or area, or smooth over hard edges and texture seams, differ from
// the unweighted sum by a few degrees to a few tens at sharp edges (a box
// smoothed at its corners, 55 degrees at every vertex). Normals unrelated to
// the surface are off by 90 degrees at the median and more than 45 degrees
// off on 85% of vertex-frames (random directions; one packed value all over
// a closed surface comes out the same).
//
// On the OpenArena models measured (doc/calibration.md) surfaces fall in
// two groups with nothing between: 189 with at most 52% of vertex-frames
// beyond 45 degrees and a median of at most 45.5 degrees (the largest, a
// bracelet whose exporter smoothed its hard edges), and 36 with 75% to 96%
// beyond 45 degrees and a median of 66 to 103 degrees. The thresholds sit in
// the middle of both gaps, and a surface must pass both.
inline constexpr double kFarOffDegrees = 45.0;
inline constexpr double kBrokenShare = 0.65;
inline constexpr double kBrokenMedianDegrees = 60.0;
// Inverted: most vertex-frames facing away from the rebuilt normal, more than
// 90 degrees off it. Random directions face away on half of them, so "most"
// must be well over half: normals turned round face away on nearly all. The
// one real surface measured with more than half facing away (67%, a median
// of 103 degrees) has normals unrelated to its geometry rather than turned
// round, and counts as broken.
inline constexpr double kInvertedShare = 0.75;

// The thresholds as cosines, written out so that every host compares with
// the same floats: cos 45 and cos 60 degrees.
inline constexpr float kFarOffCosine = 0.70710678118654752f;
inline constexpr float kBrokenMedianCosine = 0.5f;

// What grading counts over every vertex-frame of a surface.
struct NormalTally {
    std::int64_t total = 0;
    std::int64_t farOff = 0;  // more than kFarOffDegrees off
    std::int64_t inward = 0;  // more than 90 degrees off
    std::int64_t near = 0;    // less than kBrokenMedianDegrees off
};

// Counts one vertex-frame whose stored and rebuilt normals are `cosine`
// apart. Without a branch: most often every normal agrees or none does, but
// in between a branch would be a coin toss.
inline void tally_normal(NormalTally& tally, float cosine) {
    ++tally.total;
    tally.farOff += cosine < kFarOffCosine;
    tally.inward += cosine < 0.0f;
    tally.near += cosine > kBrokenMedianCosine;
}

enum class NormalGrade { healthy, broken, inverted };

// Inverted when more than kInvertedShare of the vertex-frames face away;
// else broken when at least kBrokenShare are far off and the median angle
// is kBrokenMedianDegrees or more (no more than half of them nearer).
NormalGrade grade_normals(const NormalTally& tally);

}  // namespace md3
