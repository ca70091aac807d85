// Normal packing with the C library's atan2 and acos in double precision.
#include "pack_normal.hpp"

#include <algorithm>
#include <cmath>

std::uint16_t pack_normal(float x, float y, float z) {
    if (x == 0.0f && y == 0.0f) return z > 0.0f ? 0 : 128;

    // Both angles are finite here, so the conversions to int are defined. The
    // clamp only keeps acos away from NaN should rounding ever step past +-1.
    const double zc = std::clamp(static_cast<double>(z), -1.0, 1.0);
    const int azimuth = static_cast<int>(
        std::atan2(static_cast<double>(y), static_cast<double>(x)) * kAngleUnitsPerRadian);
    const int polar = static_cast<int>(std::acos(zc) * kAngleUnitsPerRadian);
    return static_cast<std::uint16_t>(((static_cast<unsigned>(azimuth) & 0xFFu) << 8) |
                                      (static_cast<unsigned>(polar) & 0xFFu));
}
