// Encoding an 8-bit RGB image as a PNG file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace md3 {

// The PNG file of the `width` x `height` image `rgb`: three bytes (red, green,
// blue) per pixel, rows top to bottom, no padding. Every row uses the same
// filter and the image data is deflated at a fixed level, so the same pixels
// give the same bytes on every host with the same zlib. Returns an empty
// vector when the size is not positive, does not fit a PNG, or does not match
// rgb.size(), and when zlib or the allocator fails.
std::vector<std::uint8_t> encode_png(std::int64_t width, std::int64_t height,
                                     std::span<const std::uint8_t> rgb);

}  // namespace md3
