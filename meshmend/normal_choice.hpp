// What the repair pass does with vertex normals.
#pragma once

namespace md3 {

enum class NormalMode {
    rebuild,  // every normal from the triangles around its own vertex
    weld,     // the same, with copies of a vertex along a texture seam made one again
    keep,     // no normal changes
};

// Under weld, two copies of a vertex whose rebuilt normals are more than this
// many degrees apart keep their own normals: the edge is meant to be sharp.
//
// Chosen from OpenArena's models (115 files, 18100 pairs of copies at one
// position in every frame), with each pair's stored normals as the answer:
// 13619 pairs store one normal for both copies (smoothed over a seam), 4272
// store normals 20 or more degrees apart (a hard edge). The rebuilt normals
// of these low-polygon models separate the two poorly, so the threshold is a
// trade: at 30 degrees 24% of the smooth pairs weld and 7% of the hard ones
// do; at 45, 37% and 17%; at 60, 49% and 28%. The difference of the two
// rates is highest, and flat, from 45 to 60 degrees; 45 is the end of that
// range that smooths the fewest hard edges. A cube's split corners (90
// degrees) and back-to-back faces (180) stay apart.
inline constexpr double kDefaultCreaseDegrees = 45.0;

struct NormalChoice {
    NormalMode mode = NormalMode::rebuild;
    double creaseDegrees = kDefaultCreaseDegrees;  // 0 to 180; used by weld only
};

// The cosine of `degrees` (0 to 180) rounded to float, from basic arithmetic
// only, so that every host and library gets the same float.
float crease_cosine(double degrees);

}  // namespace md3
