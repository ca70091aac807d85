// Normal packing: the reference computation, and the tables that let the
// fast packing find the polar unit without acos.
#include "pack_normal.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace md3 {

int reference_polar_units(float z) {
    // The clamp only keeps acos away from NaN should rounding ever step past
    // +-1; it changes no value inside the range.
    const double zc = std::clamp(static_cast<double>(z), -1.0, 1.0);
    return static_cast<int>(std::acos(zc) * kAngleUnitsPerRadian);
}

int reference_azimuth_units(float x, float y) {
    return static_cast<int>(std::atan2(static_cast<double>(y), static_cast<double>(x)) *
                            kAngleUnitsPerRadian);
}

std::uint16_t pack_normal(float x, float y, float z) {
    if (x == 0.0f && y == 0.0f) return z > 0.0f ? 0 : 128;
    return combine_units(reference_azimuth_units(x, y), reference_polar_units(z));
}

namespace {

// Floats mapped to unsigned integers in the same order, and back.
std::uint32_t order_key(float f) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}
float from_order_key(std::uint32_t key) {
    return std::bit_cast<float>((key & 0x80000000u) ? key & 0x7fffffffu : ~key);
}

PolarTables build_polar_tables() {
    PolarTables tables{};
    tables.threshold[0] = std::numeric_limits<float>::infinity();
    // -1 has unit 127 and 1 has unit 0.
    const std::uint32_t first = order_key(-1.0f), last = order_key(1.0f);
    for (int p = 1; p < 128; ++p) {
        const auto at_least_p = [p](std::uint32_t key) {
            return reference_polar_units(from_order_key(key)) >= p;
        };
        // The threshold lies within a few floats of cos(p / units): gallop out
        // from there to keys lo < hi with units(lo) >= p > units(hi), then
        // bisect. Two or three calls of acos rather than thirty-two: the tables
        // are built in every run, and small models must not wait for them.
        const double boundary = std::cos(p / kAngleUnitsPerRadian);
        const std::uint32_t guess =
            std::clamp(order_key(static_cast<float>(boundary)), first, last);
        std::uint32_t lo = guess, hi = guess;
        if (at_least_p(guess)) {
            for (std::uint32_t step = 1;; step *= 2) {
                hi = last - lo > step ? lo + step : last;
                if (hi == last || !at_least_p(hi)) break;
                lo = hi;
            }
        } else {
            for (std::uint32_t step = 1;; step *= 2) {
                lo = hi - first > step ? hi - step : first;
                if (lo == first || at_least_p(lo)) break;
                hi = lo;
            }
        }
        while (hi - lo > 1) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (at_least_p(mid))
                lo = mid;
            else
                hi = mid;
        }
        tables.threshold[static_cast<std::size_t>(p)] = from_order_key(lo);
    }
    return tables;
}

}  // namespace

const PolarTables& polar_tables() {
    static const PolarTables tables = build_polar_tables();
    return tables;
}

}  // namespace md3
