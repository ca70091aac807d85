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
// whose guess is at least the unit of every z in it. The slices are narrower
// than the closest two thresholds (4.4e-4 apart, near z = -1), so the guess
// is at most one too many.
inline constexpr int kPolarBuckets = 8192;
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
// threshold is at or above z, counting down from the bucket's guess. The
// first step is taken without a branch; the loop is only a safety net.
inline int polar_units(const PolarTables& tables, int bucket, float z) {
    int p = tables.guess[static_cast<std::size_t>(bucket)];
    p -= z > tables.threshold[static_cast<std::size_t>(p)];
    while (z > tables.threshold[static_cast<std::size_t>(p)]) --p;
    return p;
}
inline int polar_units(const PolarTables& tables, float z) { return polar_units(tables, polar_bucket(z), z); }

// atan2(y, x) in angle units, not truncated; meaningless when x and y are
// both zero. Float arithmetic, basic operations and selects only, so that
// loops over many vectors run on vector units four lanes at a time.
//
// Its error stays below kAzimuthEstimateError units: the polynomial's 2e-8
// radians plus the float rounding of the ratio, of the eighteen operations of
// the polynomial, of the angle arithmetic and of the final product add up to
// about 7e-5 units at worst (1.7e-5 measured over millions of vectors). The
// guard band kept from every unit boundary is ten times wider.
inline constexpr double kAzimuthEstimateError = 1e-4;
inline constexpr double kAzimuthGuard = 1e-3;
inline float azimuth_estimate(float x, float y) {
    constexpr float kHalfPi = 1.57079632679489662f, kPi = 3.14159265358979324f;
    const float ax = std::fabs(x), ay = std::fabs(y);
    const bool steep = ay > ax;
    const float lo = steep ? ax : ay, hi = steep ? ay : ax;
    const float r = lo / hi;  // in [0, 1]
    // atan(r) on [0, 1], within 2e-8 radians.
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
    float angle = r * poly;
    angle = steep ? kHalfPi - angle : angle;
    angle = x < 0 ? kPi - angle : angle;
    angle = y < 0 ? -angle : angle;
    return angle * static_cast<float>(kAngleUnitsPerRadian);
}

// True when the estimate cannot be trusted to truncate to the right unit:
// it lies within the guard band of a unit boundary, or the vector lies on an
// axis, where atan2 has exact answers the estimate may miss by a hair.
inline bool azimuth_needs_atan2(float estimate, float x, float y) {
    const float fraction = std::fabs(estimate - static_cast<float>(static_cast<int>(estimate)));
    return x == 0.0f || y == 0.0f || fraction < static_cast<float>(kAzimuthGuard) ||
           fraction > static_cast<float>(1.0 - kAzimuthGuard);
}

// Azimuth unit of (x, y), not both zero, given its estimate: equal to
// reference_azimuth_units(x, y).
inline int azimuth_units(float estimate, float x, float y) {
    if (azimuth_needs_atan2(estimate, x, y)) return reference_azimuth_units(x, y);
    return static_cast<int>(estimate);
}

// Same result as pack_normal for every input.
inline std::uint16_t pack_normal_fast(const PolarTables& tables, float x, float y, float z) {
    if (x == 0.0f && y == 0.0f) return z > 0.0f ? 0 : 128;
    return combine_units(azimuth_units(azimuth_estimate(x, y), x, y), polar_units(tables, z));
}
