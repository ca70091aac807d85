// Packing of a unit normal into the two angle bytes of an MD3 vertex.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

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

// What decides the polar unit of every float z without acos. Polar units
// never increase as z grows, so 127 thresholds are enough: threshold[p] is
// the largest float whose unit is at least p (threshold[0] is +infinity).
// For speed, z first picks one of kPolarBuckets equal slices of [-1, 1],
// whose guess is at least the unit of every z in it and rarely more.
inline constexpr int kPolarBuckets = 4096;
struct PolarTables {
    std::array<float, 128> threshold;
    std::array<std::uint8_t, kPolarBuckets + 1> guess;
};

// Built on first use by bisection over float bit patterns with this C
// library's own acos (a few thousand calls), so that the tables agree with it
// on every float.
const PolarTables& polar_tables();

// The slice of z; z outside [-1, 1], or NaN, counts as the nearest end.
inline int polar_bucket(float z) {
    const float clamped = z >= -1.0f ? (z <= 1.0f ? z : 1.0f) : -1.0f;
    return static_cast<int>((clamped + 1.0f) * (kPolarBuckets / 2));
}

// Polar unit of z, equal to reference_polar_units(z): the largest p whose
// threshold is at or above z, counting down from the bucket's guess.
inline int polar_units(const PolarTables& tables, int bucket, float z) {
    int p = tables.guess[static_cast<std::size_t>(bucket)];
    while (z > tables.threshold[static_cast<std::size_t>(p)]) --p;
    return p;
}
inline int polar_units(const PolarTables& tables, float z) { return polar_units(tables, polar_bucket(z), z); }

// Worst error of azimuth_estimate, in angle units: the polynomial is within
// 2e-8 radians of atan (1.4e-8 measured), and the rest is exact to double
// rounding. Estimates this close to a unit boundary are handed to atan2.
inline constexpr double kAzimuthEstimateError = 2e-8 * kAngleUnitsPerRadian;
inline constexpr double kAzimuthGuard = 1e-5;
static_assert(kAzimuthGuard > 10 * kAzimuthEstimateError);

// atan2(y, x) in angle units, not truncated, within kAzimuthEstimateError;
// meaningless when x and y are both zero. Basic arithmetic and selects only,
// so that loops over many vectors run on vector units.
inline double azimuth_estimate(float x, float y) {
    constexpr double kPi = 3.14159265358979323846;
    const double ax = std::fabs(static_cast<double>(x)), ay = std::fabs(static_cast<double>(y));
    const bool steep = ay > ax;
    const double lo = steep ? ax : ay, hi = steep ? ay : ax;
    const double r = lo / hi;  // in [0, 1]
    // atan(r) on [0, 1], within 2e-8 radians.
    const double r2 = r * r;
    double poly = 0.0028662257;
    poly = poly * r2 - 0.0161657367;
    poly = poly * r2 + 0.0429096138;
    poly = poly * r2 - 0.0752896400;
    poly = poly * r2 + 0.1065626393;
    poly = poly * r2 - 0.1420889944;
    poly = poly * r2 + 0.1999355085;
    poly = poly * r2 - 0.3333314528;
    poly = poly * r2 + 1.0;
    double angle = r * poly;
    angle = steep ? kPi / 2 - angle : angle;
    angle = x < 0 ? kPi - angle : angle;
    angle = y < 0 ? -angle : angle;
    return angle * kAngleUnitsPerRadian;
}

// Azimuth unit of (x, y), not both zero, given its estimate: equal to
// reference_azimuth_units(x, y). The estimate is truncated unless it lies
// within the guard band of a unit boundary, or the vector lies on an axis;
// then atan2 decides.
inline int azimuth_units(double estimate, float x, float y) {
    const int whole = static_cast<int>(estimate);  // finite: x and y are not both 0
    const double fraction = std::fabs(estimate - whole);
    if (x == 0.0f || y == 0.0f || fraction < kAzimuthGuard || fraction > 1.0 - kAzimuthGuard)
        return reference_azimuth_units(x, y);
    return whole;
}

// Same result as pack_normal for every input.
inline std::uint16_t pack_normal_fast(const PolarTables& tables, float x, float y, float z) {
    if (x == 0.0f && y == 0.0f) return z > 0.0f ? 0 : 128;
    return combine_units(azimuth_units(azimuth_estimate(x, y), x, y), polar_units(tables, z));
}
