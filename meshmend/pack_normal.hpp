// Packing of a unit normal into the two angle bytes of an MD3 vertex.
#pragma once

#include <cstdint>

// Angle units per radian: 255 units make one full turn.
inline constexpr double kAngleUnitsPerRadian = 40.58451048843332;

// Packs unit vector (x, y, z): the low byte holds the polar angle from +Z, the
// high byte the azimuth from +X towards +Y, both in 2*pi/255 units truncated
// towards zero, a negative azimuth wrapping to 256 minus its size. A vector
// along the Z axis packs to 0 (up) or 128 (down).
std::uint16_t pack_normal(float x, float y, float z);
