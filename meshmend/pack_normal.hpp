// Packing of a unit normal into the two angle bytes of an MD3 vertex.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace md3 {

// Angle units per radian: 255 units make one full turn.
inline constexpr double kAngleUnitsPerRadian = 40.58451048843332;

// Packs unit vector (x, y, z): the low byte holds the polar angle from +Z, the
// high byte the azimuth from +X towards +Y, both in 2*pi/255 units truncated
// towards zero, a negative azimuth wrapping to 256 minus its size. A vector
// along the Z axis packs to 0 (up) or 128 (down).
//
// This is the straightforward computation with the C library's atan2 and
// acos; it defines the packing, and the fast packing is tested against it.
std::uint16_t pack_normal(float x, float y, float z);

// The two angle units as pack_normal computes them: trunc(acos(z) * units)
// with z clamped to [-1, 1], and trunc(atan2(y, x) * units).
int reference_polar_units(float z);
int reference_azimuth_units(float x, float y);

// The packed value of the two units; the azimuth wraps to its low eight bits.
inline std::uint16_t combine_units(int azimuth, int polar) {
    return static_cast<std::uint16_t>(((static_cast<unsigned>(azimuth) & 0xFFu) << 8) |
                                      (static_cast<unsigned>(polar) & 0xFFu));
}

// What decides the polar unit of every float z without acos, for the few z
// whose estimate (below) lies too close to a unit boundary. Polar units never
// increase as z grows, so 127 thresholds are enough: threshold[p] is the
// largest float whose unit is at least p (threshold[0] is +infinity).
struct PolarTables {
    std::array<float, 128> threshold;
};

// Built on first use by a search over float bit patterns with this C
// library's own acos (a few hundred calls), so that the tables agree with it
// on every float.
const PolarTables& polar_tables();

// Polar unit of z, equal to reference_polar_units(z): the largest p whose
// threshold is at or above z, found by bisection in seven steps.
inline int polar_units(const PolarTables& tables, float z) {
    int p = 0;
    for (int step = 64; step > 0; step /= 2)
        p = tables.threshold[static_cast<std::size_t>(p + step)] >= z ? p + step : p;
    return p;
}

// atan(r) for r in [0, 1], within 2e-8 radians. Float arithmetic, basic
// operations only, so that loops over many vectors run on vector units.
inline float atan_of_ratio(float r) {
    const float r2 = r * r;
    float poly = 0.0028662257f;
    poly = poly * r2 - 0.0161657367f;
    poly = poly * r2 + 0.0429096138f;
    poly = poly * r2 - 0.0752896400f;
    poly = poly * r2 + 0.1065626393f;
    poly = poly * r2 - 0.1420889944f;
    poly = poly * r2 + 0.1999355085f;
    poly = poly * r2 - 0.3333314528f;
    poly = poly * r2 + 1.0f;
    return r * poly;
}

// The estimates below are not truncated, and are meant to be truncated only
// when they lie clear of a unit boundary (see trusted_units).
//
// Their error stays below kEstimateError units: the polynomial's 2e-8
// radians plus the float rounding of the ratio, of the eighteen operations of
// the polynomial, of the angle arithmetic and of the final product add up to
// about 7e-5 units at worst (1.7e-5 measured over millions of vectors). The
// guard band kept from every unit boundary is ten times wider.
inline constexpr double kEstimateError = 1e-4;
inline constexpr double kEstimateGuard = 1e-3;

// atan2(b, a) in angle units for a, b >= 0, not both zero.
inline float first_quadrant_units(float a, float b) {
    constexpr float kHalfPi = 1.57079632679489662f;
    const bool steep = b > a;
    const float angle = atan_of_ratio((steep ? a : b) / (steep ? b : a));
    return steep ? kHalfPi - angle : angle;
}

// atan2(y, x) in angle units; meaningless when x and y are both zero.
inline float azimuth_estimate(float x, float y) {
    constexpr float kPi = 3.14159265358979324f;
    float angle = first_quadrant_units(std::fabs(x), std::fabs(y));
    angle = x < 0 ? kPi - angle : angle;
    angle = y < 0 ? -angle : angle;
    return angle * static_cast<float>(kAngleUnitsPerRadian);
}

// acos(z) in angle units for z in [-1, 1], as atan2(sqrt(1 - z^2), z). The
// square root is taken of (1 - |z|)(1 + |z|), which loses nothing to
// cancellation near the poles: its relative error of about 1e-7 moves the
// angle by at most half that in radians. Outside [-1, 1] the estimate is NaN.
inline float polar_estimate(float z) {
    constexpr float kPi = 3.14159265358979324f;
    const float a = std::fabs(z);
    const float s = std::sqrt((1.0f - a) * (1.0f + a));
    float angle = first_quadrant_units(a, s);
    angle = z < 0 ? kPi - angle : angle;
    return angle * static_cast<float>(kAngleUnitsPerRadian);
}

// The unit an estimate truncates to, or kUntrusted when the estimate lies
// within the guard band of a unit boundary or is not a finite value within
// the range of units. Selects on ints only, so that vector loops use it.
inline constexpr int kUntrusted = 1000;
inline int trusted_units(float estimate) {
    // An estimate out of range, or NaN, becomes 0, which lies on a boundary
    // and so is turned away with the rest.
    const float safe = std::fabs(estimate) < 256.0f ? estimate : 0.0f;
    const int units = static_cast<int>(safe);
    const float fraction = std::fabs(safe - static_cast<float>(units));
    // Masks rather than selects, which some vectorisers give up on here.
    const int untrusted = -static_cast<int>((fraction < static_cast<float>(kEstimateGuard)) |
                                            (fraction > static_cast<float>(1.0 - kEstimateGuard)));
    return (units & ~untrusted) | (kUntrusted & untrusted);
}

// Azimuth unit of (x, y), not both zero, equal to
// reference_azimuth_units(x, y). On an axis atan2 has exact answers that the
// estimate may miss by a hair, so those go to atan2 too.
inline int azimuth_units(float x, float y) {
    const int units = trusted_units(azimuth_estimate(x, y));
    if (x == 0.0f || y == 0.0f || units == kUntrusted) return reference_azimuth_units(x, y);
    return units;
}

// Polar unit of z, equal to reference_polar_units(z) for every float.
inline int polar_units_fast(const PolarTables& tables, float z) {
    const int units = trusted_units(polar_estimate(z));
    if (units == kUntrusted) return polar_units(tables, z);
    return units;
}

// Same result as pack_normal for every input.
inline std::uint16_t pack_normal_fast(const PolarTables& tables, float x, float y, float z) {
    if (x == 0.0f && y == 0.0f) return z > 0.0f ? 0 : 128;
    return combine_units(azimuth_units(x, y), polar_units_fast(tables, z));
}

}  // namespace md3
