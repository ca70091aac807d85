// The packed-normal tables and decoder.
#include "packed_normal.hpp"

#include <cmath>

namespace md3 {

const AngleTables& angle_tables() {
    static const AngleTables tables = [] {
        constexpr double kUnit = 2.0 * 3.14159265358979323846 / 255.0;
        AngleTables t;
        for (int u = 0; u < 256; ++u) {
            t.polarSine[static_cast<std::size_t>(u)] = static_cast<float>(std::sin(u * kUnit));
            t.polarCosine[static_cast<std::size_t>(u)] = static_cast<float>(std::cos(u * kUnit));
        }
        for (int d = 0; d < 511; ++d)
            t.differenceCosine[static_cast<std::size_t>(d)] =
                static_cast<float>(std::cos((d - 255) * kUnit));
        return t;
    }();
    return tables;
}

void decode_normal(std::uint16_t packed, float out[3]) {
    // The azimuth byte counts the same units as the polar one.
    const AngleTables& t = angle_tables();
    const unsigned polar = polar_byte(packed), azimuth = azimuth_byte(packed);
    out[0] = t.polarCosine[azimuth] * t.polarSine[polar];
    out[1] = t.polarSine[azimuth] * t.polarSine[polar];
    out[2] = t.polarCosine[polar];
}

double degrees(double cosine) { return std::acos(cosine) * (180.0 / 3.14159265358979323846); }

double normal_angle(std::uint16_t a, std::uint16_t b) {
    return degrees(normal_cosine(angle_tables(), a, b));
}

float normal_angle_cosine(std::uint16_t a, std::uint16_t b) {
    return normal_cosine(angle_tables(), a, b);
}

}  // namespace md3
