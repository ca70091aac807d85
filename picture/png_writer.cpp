// PNG encoding: IHDR, one IDAT deflated by zlib, IEND, each with its CRC.
#include "png_writer.hpp"

#include <zlib.h>

#include <cstring>
#include <limits>
#include <new>

namespace md3 {

namespace {

// PNG limits each dimension to 2^31 - 1; the tighter limit keeps the filtered
// image (a filter byte per row) and its deflate bound inside what zlib's
// unsigned long counts hold on every platform, including 32-bit ones.
constexpr std::int64_t kMaxFilteredBytes = std::int64_t{1} << 30;

// Deflate level: 6 is zlib's usual trade-off. (Some builds hand level 1 to a
// hardware deflater, whose output differs from the software one's.)
constexpr int kLevel = 6;

// Every row is filtered with "Sub" (each byte minus the byte of the pixel to
// its left), which turns the smooth shading of a picture into runs that
// deflate well.
constexpr std::uint8_t kSubFilter = 1;

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Appends one chunk: length, type, data, and the CRC of type and data.
void put_chunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data,
               std::size_t size) {
    put_be32(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0) out.insert(out.end(), data, data + size);
    // zlib's crc32 takes a uInt length: both parts here are far below 2^32.
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), out.data() + start, static_cast<uInt>(out.size() - start));
    put_be32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::vector<std::uint8_t> encode_png(std::int64_t width, std::int64_t height,
                                     std::span<const std::uint8_t> rgb) {
    if (width <= 0 || height <= 0) return {};
    if (width > kMaxFilteredBytes / 3 || height > kMaxFilteredBytes / (3 * width + 1)) return {};
    const std::int64_t stride = 3 * width;
    if (static_cast<std::uint64_t>(stride * height) != rgb.size()) return {};
    const std::int64_t filteredSize = (stride + 1) * height;

    try {
        std::vector<std::uint8_t> filtered(static_cast<std::size_t>(filteredSize));
        for (std::int64_t y = 0; y < height; ++y) {
            const std::uint8_t* row = rgb.data() + y * stride;
            std::uint8_t* out = filtered.data() + y * (stride + 1);
            out[0] = kSubFilter;
            for (std::int64_t i = 0; i < 3 && i < stride; ++i) out[1 + i] = row[i];
            for (std::int64_t i = 3; i < stride; ++i)
                out[1 + i] = static_cast<std::uint8_t>(row[i] - row[i - 3]);
        }

        uLongf deflatedSize = compressBound(static_cast<uLong>(filteredSize));
        std::vector<std::uint8_t> deflated(deflatedSize);
        if (compress2(deflated.data(), &deflatedSize, filtered.data(),
                      static_cast<uLong>(filteredSize), kLevel) != Z_OK)
            return {};
        if (deflatedSize > std::numeric_limits<std::int32_t>::max()) return {};

        std::vector<std::uint8_t> png;
        png.reserve(deflatedSize + 64);
        const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        png.insert(png.end(), signature, signature + 8);

        std::vector<std::uint8_t> header;
        put_be32(header, static_cast<std::uint32_t>(width));
        put_be32(header, static_cast<std::uint32_t>(height));
        const std::uint8_t rest[5] = {8, 2, 0, 0,
                                      0};  // 8 bits, RGB, deflate, adaptive, no interlace
        header.insert(header.end(), rest, rest + 5);
        put_chunk(png, "IHDR", header.data(), header.size());
        put_chunk(png, "IDAT", deflated.data(), deflatedSize);
        put_chunk(png, "IEND", nullptr, 0);
        return png;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace md3
