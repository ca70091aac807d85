#include "zip_builder.hpp"

#include <zlib.h>

#include <stdexcept>

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put_text(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

std::vector<std::uint8_t> raw_deflate(const std::vector<std::uint8_t>& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

}  // namespace

BuiltZip build_zip(const std::vector<BuiltMember>& members, const std::string& comment) {
    BuiltZip zip;
    std::vector<std::uint8_t>& out = zip.bytes;
    struct Written {
        std::uint16_t method;
        std::uint32_t crc, compressed;
    };
    std::vector<Written> written;
    for (const BuiltMember& member : members) {
        const bool deflate = member.deflate && !member.data.empty();
        const std::vector<std::uint8_t> stored = deflate ? raw_deflate(member.data) : member.data;
        const Written w{static_cast<std::uint16_t>(deflate ? 8 : 0),
                        static_cast<std::uint32_t>(
                            crc32(0, member.data.data(), static_cast<uInt>(member.data.size()))),
                        static_cast<std::uint32_t>(stored.size())};
        zip.localOffsets.push_back(out.size());
        put32(out, 0x04034b50);
        put16(out, 20);  // version needed
        put16(out, 0);   // flags
        put16(out, w.method);
        put16(out, 0);       // time
        put16(out, 0x5a21);  // date: 2025-01-01
        put32(out, w.crc);
        put32(out, w.compressed);
        put32(out, static_cast<std::uint32_t>(member.data.size()));
        put16(out, static_cast<std::uint32_t>(member.name.size()));
        put16(out, 0);  // extra
        put_text(out, member.name);
        out.insert(out.end(), stored.begin(), stored.end());
        written.push_back(w);
    }
    zip.directoryOffset = out.size();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const BuiltMember& member = members[i];
        zip.centralOffsets.push_back(out.size());
        put32(out, 0x02014b50);
        put16(out, 0x0314);  // made by: Unix, 2.0
        put16(out, 20);
        put16(out, 0);
        put16(out, written[i].method);
        put16(out, 0);
        put16(out, 0x5a21);
        put32(out, written[i].crc);
        put32(out, written[i].compressed);
        put32(out, static_cast<std::uint32_t>(member.data.size()));
        put16(out, static_cast<std::uint32_t>(member.name.size()));
        put16(out, 0);  // extra
        put16(out, 0);  // comment
        put16(out, 0);  // disk
        put16(out, 0);  // internal attributes
        put32(out, member.name.ends_with('/') ? 0x41ED0010 : 0x81A40000);
        put32(out, static_cast<std::uint32_t>(zip.localOffsets[i]));
        put_text(out, member.name);
    }
    zip.endOffset = out.size();
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(members.size()));
    put16(out, static_cast<std::uint32_t>(members.size()));
    put32(out, static_cast<std::uint32_t>(zip.endOffset - zip.directoryOffset));
    put32(out, static_cast<std::uint32_t>(zip.directoryOffset));
    put16(out, static_cast<std::uint32_t>(comment.size()));
    put_text(out, comment);
    return zip;
}

std::vector<std::uint8_t> sample_bytes(std::size_t size, unsigned seed) {
    static const char* const words[] = {"models/", "textures/", "surface ", "tag_head ",
                                        "0.25 ",   "frame ",    "\n",       "shader "};
    std::vector<std::uint8_t> out;
    out.reserve(size);
    std::uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1664525u + 1013904223u;
        const char* word = words[state >> 29];
        for (const char* c = word; *c && out.size() < size; ++c)
            out.push_back(static_cast<std::uint8_t>(*c));
        if (out.size() < size) out.push_back(static_cast<std::uint8_t>(state >> 8));
    }
    return out;
}
