// What the repair pass does with vertex normals.
#pragma once

#include <string>
#include <string_view>

namespace md3 {

enum class NormalMode {
    rebuild,  // every normal from the triangles around its own vertex
    weld,     // the same, with copies of a vertex along a texture seam made one again
    keep,     // no normal changes
    broken,   // weld only the surfaces whose stored normals grade as broken or
              // inverted (see normal_grade.hpp); keep every other surface's
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
    double creaseDegrees = kDefaultCreaseDegrees;  // 0 to 180; used by weld and broken
};

// The cosine of `degrees` (0 to 180) rounded to float, from basic arithmetic
// only, so that every host and library gets the same float.
float crease_cosine(double degrees);

// The values of --normals and --crease, as meshmend and meshcheck take them:
// "rebuild", "weld", "broken" or "keep"; an angle from 0 to 180 degrees as
// a decimal number. False, leaving the result as it was, for anything else.
bool parse_normal_mode(std::string_view text, NormalMode& mode);
bool parse_crease_degrees(std::string_view text, double& degrees);
// What is wrong with such a value, and with a crease given to a mode that
// does not weld.
std::string bad_normal_mode(std::string_view text);
std::string bad_crease(std::string_view text);
inline constexpr const char* kCreaseAlone = "--crease goes with --normals=weld or --normals=broken";
// Whether `mode` welds, and so takes a crease.
bool welds(NormalMode mode);

}  // namespace md3
