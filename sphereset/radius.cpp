// Radius parsing and the frame loop.
#include "radius.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "md3_layout.hpp"

namespace md3 {

std::optional<double> parse_radius(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text) return std::nullopt;
    for (; *end; ++end)
        if (!std::isspace(static_cast<unsigned char>(*end))) return std::nullopt;
    if (!std::isfinite(value) || !std::isfinite(static_cast<float>(value))) return std::nullopt;
    return value;
}

void set_radii(std::span<std::uint8_t> bytes, double radius, std::FILE* out) {
    std::uint8_t* model = bytes.data();
    const std::int64_t numFrames = Md3Header::numFrames(model);
    std::uint8_t* const frames = frame_at(model, 0);
    for (std::int64_t i = 0; i < numFrames; ++i) {
        std::uint8_t* frame = frames + i * Md3Frame::kSize;
        std::fprintf(out, "old radius: %f, ", static_cast<double>(Md3Frame::radius(frame)));
        Md3Frame::set_radius(frame, static_cast<float>(radius));
        std::fprintf(out, "new radius: %f\n", radius);
    }
}

}  // namespace md3
