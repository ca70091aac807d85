// Decoding a vertex's packed normal: its two angle bytes, the low one the
// polar angle from +Z, the high one the azimuth from +X towards +Y, both in
// units of 2*pi/255, as the format defines them (and as exporters pack
// them). The angle between two packed normals comes from small tables of
// sines and cosines, without decoding either into a vector.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace md3 {

// The polar byte of a packed normal.
constexpr unsigned polar_byte(std::uint16_t packed) { return packed & 0xFFu; }
// The azimuth byte of a packed normal.
constexpr unsigned azimuth_byte(std::uint16_t packed) { return packed >> 8; }

struct AngleTables {
    std::array<float, 256> polarSine, polarCosine;
    std::array<float, 511> differenceCosine;  // of (azimuth a - azimuth b + 255) units
};

// The tables, made once.
const AngleTables& angle_tables();

// The cosine of the angle between two packed normals:
// sin(a) sin(b) cos(azimuth difference) + cos(a) cos(b), within -1 .. 1.
// Inline: the normal comparison calls it for every vertex-frame.
inline float normal_cosine(const AngleTables& t, std::uint16_t a, std::uint16_t b) {
    const unsigned pa = polar_byte(a), pb = polar_byte(b);
    const unsigned difference = azimuth_byte(a) + 255u - azimuth_byte(b);
    const float cosine = t.polarSine[pa] * t.polarSine[pb] * t.differenceCosine[difference] +
                         t.polarCosine[pa] * t.polarCosine[pb];
    return std::clamp(cosine, -1.0f, 1.0f);
}

// A packed normal as a unit vector.
void decode_normal(std::uint16_t packed, float out[3]);
// The angle in degrees between two packed normals.
double normal_angle(std::uint16_t a, std::uint16_t b);
// The cosine of that angle, from the same tables, without the arc cosine.
float normal_angle_cosine(std::uint16_t a, std::uint16_t b);
// The angle in degrees whose cosine is `cosine` (from -1 to 1).
double degrees(double cosine);

}  // namespace md3
