// PNG encoding: IHDR, one IDAT deflated by zlib, IEND, each with its CRC.
#include "png_writer.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace md3 {

namespace {

// PNG limits each dimension to 2^31 - 1; the tighter limit keeps the filtered
// image (a filter byte per row) and its deflate bound inside what zlib's
// unsigned long counts hold on every platform, including 32-bit ones.
constexpr std::int64_t kMaxFilteredBytes = std::int64_t{1} << 30;

// Deflate level 2: of zlib's levels it is among the fastest (the greedy
// matcher of levels 1 to 3), about a quarter of level 6's time on these
// pictures for a file a fifth to a third larger. Level 1 would be as fast,
// but some builds hand level 1 to a hardware deflater, whose output differs
// from the software one's: level 2 gives the same bytes on every host with
// the same zlib.
constexpr int kLevel = 2;

// Every row is filtered with "Up" (each byte minus the byte above it): the
// three panels show the model at one scale, mostly flat background and
// shading that changes little from row to row, and at level 2 this gave the
// smallest files of the filters tried (none, Sub, Up).
constexpr std::uint8_t kUpFilter = 2;

// Rows are filtered into a small buffer and deflated a band at a time, so
// that no filtered copy of the whole image is made.
constexpr std::int64_t kBandBytes = std::int64_t{64} << 10;

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

// Rows first .. first + rows of the image, each filtered with Up behind its
// filter byte, into `out`.
void filter_rows(const std::uint8_t* rgb, std::int64_t stride, std::int64_t first,
                 std::int64_t rows, std::uint8_t* out) {
    for (std::int64_t y = first; y < first + rows; ++y, out += stride + 1) {
        const std::uint8_t* row = rgb + y * stride;
        out[0] = kUpFilter;
        if (y == 0) {
            std::memcpy(out + 1, row, static_cast<std::size_t>(stride));
            continue;
        }
        const std::uint8_t* above = row - stride;
        for (std::int64_t i = 0; i < stride; ++i)
            out[1 + i] = static_cast<std::uint8_t>(row[i] - above[i]);
    }
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
        z_stream z{};
        if (deflateInit(&z, kLevel) != Z_OK) return {};
        struct End {
            z_stream& z;
            ~End() { deflateEnd(&z); }
        } end{z};
        std::vector<std::uint8_t> deflated(deflateBound(&z, static_cast<uLong>(filteredSize)));
        z.next_out = deflated.data();
        z.avail_out = static_cast<uInt>(deflated.size());
        const std::int64_t bandRows = std::max<std::int64_t>(1, kBandBytes / (stride + 1));
        std::vector<std::uint8_t> band(static_cast<std::size_t>(bandRows * (stride + 1)));
        for (std::int64_t first = 0; first < height; first += bandRows) {
            const std::int64_t rows = std::min(bandRows, height - first);
            filter_rows(rgb.data(), stride, first, rows, band.data());
            const bool last = first + rows == height;
            z.next_in = band.data();
            z.avail_in = static_cast<uInt>(rows * (stride + 1));
            // The output has room for the bound of the whole: deflate never
            // stops for want of it, and finishes on the last band.
            if (deflate(&z, last ? Z_FINISH : Z_NO_FLUSH) != (last ? Z_STREAM_END : Z_OK))
                return {};
        }
        const uLong deflatedSize = z.total_out;
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
