// sphereset's work: reading the radius argument and setting every frame's radius.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

namespace md3 {

// The radius argument as a number: a decimal (or hexadecimal) real with
// optional white space around it, finite, and still finite as a 32-bit float.
// Anything else, "64abc" and "inf" among them, is no radius.
std::optional<double> parse_radius(const char* text);

// Sets the radius of every frame to `radius`, printing the old and new value
// of each frame to `out`. The frame count and offset are read once, before the
// loop, so a radius written over the header cannot steer it; a negative count
// means no frames. Expects frames_inside() to hold for the whole buffer.
void set_radii(std::span<std::uint8_t> model, double radius, std::FILE* out);

}  // namespace md3
