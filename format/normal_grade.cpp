// The grade of a surface's stored normals from its tally.
#include "normal_grade.hpp"

namespace md3 {

NormalGrade grade_normals(const NormalTally& tally) {
    if (tally.total <= 0) return NormalGrade::healthy;
    const auto share = [&](std::int64_t count) {
        return static_cast<double>(count) / static_cast<double>(tally.total);
    };
    if (share(tally.inward) > kInvertedShare) return NormalGrade::inverted;
    // The median, the vertex-frame at rank total / 2 from the nearest, lies at
    // kBrokenMedianDegrees or beyond exactly when at most total / 2 are nearer.
    if (share(tally.farOff) >= kBrokenShare && tally.near <= tally.total / 2)
        return NormalGrade::broken;
    return NormalGrade::healthy;
}

}  // namespace md3
