// Normal packing: the reference computation, and the tables that let the
// fast packing find the polar unit without acos.
#include "pack_normal.hpp"

#include <algorithm>
#include <bit>
#include <limits>

int reference_polar_units(float z) {
    // The clamp only keeps acos away from NaN should rounding ever step past
    // +-1; it changes no value inside the range.
    const double zc = std::clamp(static_cast<double>(z), -1.0, 1.0);
    return static_cast<int>(std::acos(zc) * kAngleUnitsPerRadian);
}

int reference_azimuth_units(float x, float y) {
    return static_cast<int>(std::atan2(static_cast<double>(y), static_cast<double>(x)) * kAngleUnitsPerRadian);
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
    for (int p = 1; p < 128; ++p) {
        // -1 has unit 127 and 1 has unit 0: keep units(lo) >= p > units(hi).
        std::uint32_t lo = order_key(-1.0f), hi = order_key(1.0f);
        while (hi - lo > 1) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (reference_polar_units(from_order_key(mid)) >= p)
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
