// The zip directory and its members: the end record, the central directory
// and each member's local header, every field checked against the file before
// it is used, and members inflated with zlib into a buffer of their declared
// size.
#include "zip_reader.hpp"

#include <zlib.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "archive_source.hpp"
#include "text.hpp"

namespace md3 {

namespace {

// Record layouts (all fields little-endian).
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kMaxComment = 0xFFFF;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint64_t kZip64LocatorSize = 20;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint64_t kCentralSize = 46;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint64_t kLocalSize = 30;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;  // CRC and sizes follow the data
constexpr std::uint16_t kExtraZip64 = 0x0001;
constexpr std::uint32_t kSentinel32 = 0xFFFFFFFF;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflate = 8;

// Deflate cannot expand data more than this many times (258 bytes from a
// length code of a bit or two): a member that declares more than its data
// could ever give is refused before its buffer is allocated, so that the
// buffer stays within a small multiple of the file.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Compressed data is read in pieces of this size, whatever the member's.
constexpr std::uint64_t kInflateChunk = 256 * 1024;

using ull = unsigned long long;

ZipResult failure(ZipStatus status, std::string reason) { return {status, std::move(reason)}; }

ZipResult broken(std::string reason) { return failure(ZipStatus::broken, std::move(reason)); }

ZipResult unreadable(std::string reason) {
    return failure(ZipStatus::unreadable, std::move(reason));
}

ZipResult no_memory() {
    return failure(ZipStatus::no_memory,
                   std::make_error_code(std::errc::not_enough_memory).message());
}

// The end record's position: scanning back from the end of the file, the
// first signature whose comment ends exactly where the file does. Bytes that
// merely look like a signature inside a comment do not end there (or, if
// nothing ends exactly there, the last signature whose comment fits in the
// file, as a writer that padded the file may leave). Returns false when
// there is none.
bool find_end_record(const std::vector<std::uint8_t>& tail, std::uint64_t& at) {
    bool fitting = false;
    for (std::uint64_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
        if (get_u32(tail.data() + pos) != kEndSignature) continue;
        const std::uint64_t end = pos + kEndSize + get_u16(tail.data() + pos + 20);
        if (end == tail.size()) {
            at = pos;
            return true;
        }
        if (end < tail.size() && !fitting) {
            at = pos;
            fitting = true;
        }
    }
    return fitting;
}

// Whether the extra field holds a zip64 record.
bool has_zip64_extra(const std::uint8_t* extra, std::uint64_t size) {
    for (std::uint64_t pos = 0; pos + 4 <= size;) {
        if (get_u16(extra + pos) == kExtraZip64) return true;
        pos += 4 + get_u16(extra + pos + 2);
    }
    return false;
}

// Why the directory's own fields already rule a member out, or "".
std::string entry_problem(const ZipEntry& entry, bool zip64Extra, std::uint64_t directoryOffset) {
    if ((entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0) return "encrypted";
    if (zip64Extra || entry.compressedSize == kSentinel32 || entry.size == kSentinel32 ||
        entry.localOffset == kSentinel32)
        return "zip64 fields, which the engine does not read";
    if (entry.method != kStored && entry.method != kDeflate)
        return printf_text("compression method %u, not stored (0) or deflate (8)", entry.method);
    if (entry.size > kMaxMemberSize)
        return printf_text("declares %llu bytes, more than the %llu a member may have",
                           static_cast<ull>(entry.size), static_cast<ull>(kMaxMemberSize));
    if (entry.method == kDeflate && entry.size > entry.compressedSize * kMaxDeflateRatio)
        return printf_text("declares %llu bytes, more than %llu bytes of deflate data can hold",
                           static_cast<ull>(entry.size), static_cast<ull>(entry.compressedSize));
    if (entry.method == kStored && entry.compressedSize != entry.size)
        return printf_text("stored, but declares %llu bytes kept in %llu",
                           static_cast<ull>(entry.size), static_cast<ull>(entry.compressedSize));
    // Member data lies between the start of the file and the directory.
    if (entry.localOffset + kLocalSize + entry.compressedSize > directoryOffset)
        return printf_text(
            "its local header at offset %llu and %llu bytes of data run past "
            "the directory at offset %llu",
            static_cast<ull>(entry.localOffset), static_cast<ull>(entry.compressedSize),
            static_cast<ull>(directoryOffset));
    return "";
}

// Where member `entry`'s own bytes end (its local header, name, extra field
// and compressed data), read from its local header; false when the header
// cannot be read or is none, which reading the member reports.
bool member_end(const ZipArchive& archive, const ZipEntry& entry, std::uint64_t& end) {
    std::uint8_t local[kLocalSize];
    std::string ignored;
    if (!read_at(archive.source, entry.localOffset, local, kLocalSize, ignored) ||
        get_u32(local) != kLocalSignature)
        return false;
    end = entry.localOffset + kLocalSize + get_u16(local + 26) + get_u16(local + 28) +
          entry.compressedSize;
    return true;
}

// No writer puts two members in the same bytes: a directory whose entries
// share data is built to make a small file cost the reader without end (a
// thousand entries inflating one large stream). Each member must lie in its
// own range. The first member in the directory's order keeps its range and
// every later one that overlaps a kept range is refused: so every byte of
// the file is inflated at most once, and the first member, which may well be
// the one the writer meant, is still checked as it would be alone. Folder
// entries and members already refused are never read, so they claim no range.
void refuse_shared_ranges(ZipArchive& archive) {
    std::map<std::uint64_t, std::pair<std::uint64_t, std::size_t>> kept;  // start: end, entry
    for (std::size_t k = 0; k < archive.entries.size(); ++k) {
        ZipEntry& entry = archive.entries[k];
        std::uint64_t end = 0;
        if (entry.isFolder || !entry.problem.empty() || !member_end(archive, entry, end)) continue;
        const std::uint64_t start = entry.localOffset;
        auto next = kept.lower_bound(start);
        auto overlap = kept.end();
        if (next != kept.end() && next->first < end) overlap = next;
        if (next != kept.begin() && std::prev(next)->second.first > start)
            overlap = std::prev(next);
        if (overlap == kept.end()) {
            kept.emplace(start, std::make_pair(end, k));
            continue;
        }
        entry.problem = printf_text(
            "its bytes (offsets %llu to %llu) overlap those of entry %llu of the directory "
            "(offsets %llu to %llu): each member must lie in its own range",
            static_cast<ull>(start), static_cast<ull>(end),
            static_cast<ull>(overlap->second.second + 1), static_cast<ull>(overlap->first),
            static_cast<ull>(overlap->second.first));
    }
}

// Why the local header `local` disagrees with the directory's `entry`, or "".
// The game's zip reader (minizip, bundled in ioq3's unzip.c) checks a
// member's local header against its directory entry as it opens the member:
// the compression method, the length of the name and, unless bit 3 of the
// local header's flags says a data descriptor follows the data, the CRC and
// both sizes. When any differs the open fails and the engine treats the file
// as missing; so the member is unreadable here too.
std::string local_header_disagrees(const ZipEntry& entry, const std::uint8_t* local) {
    const auto differs = [](const char* what, std::uint64_t here, std::uint64_t there) {
        return printf_text("its local header gives %s %llu, the directory %llu", what,
                           static_cast<ull>(here), static_cast<ull>(there));
    };
    if (get_u16(local + 8) != entry.method)
        return differs("compression method", get_u16(local + 8), entry.method);
    if ((get_u16(local + 6) & kFlagDataDescriptor) == 0) {
        if (get_u32(local + 14) != entry.crc)
            return printf_text("its local header gives CRC %08x, the directory %08x",
                               static_cast<unsigned>(get_u32(local + 14)), entry.crc);
        if (get_u32(local + 18) != entry.compressedSize)
            return differs("a compressed size of", get_u32(local + 18), entry.compressedSize);
        if (get_u32(local + 22) != entry.size)
            return differs("a size of", get_u32(local + 22), entry.size);
    }
    if (get_u16(local + 26) != entry.name.size())
        return differs("a name length of", get_u16(local + 26), entry.name.size());
    return "";
}

// Where the central directory is, as the end record says.
struct DirectoryPlace {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    unsigned count = 0;
};

// Finds the end record in the last bytes of the file and checks the
// directory it points to against the file before anything is sized by it.
ZipResult find_directory(const ArchiveSource& source, DirectoryPlace& place) {
    const std::uint64_t fileSize = source.size;
    if (fileSize < kEndSize)
        return broken(
            printf_text("%llu bytes, too short for a zip archive", static_cast<ull>(fileSize)));
    std::string reason;

    // The record and its comment lie within the last 64 KiB + 22 bytes.
    const std::uint64_t tailSize = std::min(fileSize, kEndSize + kMaxComment);
    const std::uint64_t tailStart = fileSize - tailSize;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(tailSize));
    if (!read_at(source, tailStart, tail.data(), tailSize, reason))
        return failure(ZipStatus::cannot_open, reason);
    std::uint64_t endInTail = 0;
    if (!find_end_record(tail, endInTail))
        return broken("no end of central directory record: not a zip archive");
    const std::uint8_t* end = tail.data() + endInTail;
    const std::uint64_t endOffset = tailStart + endInTail;

    const std::uint16_t disk = get_u16(end + 4), directoryDisk = get_u16(end + 6);
    const std::uint16_t entriesHere = get_u16(end + 8), count = get_u16(end + 10);
    const std::uint64_t directorySize = get_u32(end + 12), directoryOffset = get_u32(end + 16);
    const bool locator = endInTail >= kZip64LocatorSize &&
                         get_u32(end - kZip64LocatorSize) == kZip64LocatorSignature;
    if (locator || directorySize == kSentinel32 || directoryOffset == kSentinel32)
        return broken("a zip64 archive, which the engine does not read");
    if (disk != 0 || directoryDisk != 0 || entriesHere != count)
        return broken("an archive split over several disks");
    if (directoryOffset + directorySize > endOffset)
        return broken(
            printf_text("the directory (%llu bytes at offset %llu) runs past the end "
                        "record at offset %llu",
                        static_cast<ull>(directorySize), static_cast<ull>(directoryOffset),
                        static_cast<ull>(endOffset)));
    if (count * kCentralSize > directorySize)
        return broken(
            printf_text("the end record claims %u entries, more than a directory of "
                        "%llu bytes can hold",
                        count, static_cast<ull>(directorySize)));
    if (directorySize > kMaxDirectorySize)
        return broken(printf_text("a directory of %llu bytes, more than the %llu the reader takes",
                                  static_cast<ull>(directorySize),
                                  static_cast<ull>(kMaxDirectorySize)));
    place = {directoryOffset, directorySize, count};
    return {};
}

// Reads the entries of the directory `directory`, found at `place`.
ZipResult parse_directory(const std::vector<std::uint8_t>& directory, const DirectoryPlace& place,
                          std::vector<ZipEntry>& entries) {
    const std::uint64_t directorySize = place.size;
    const unsigned count = place.count;
    std::uint64_t pos = 0;
    for (unsigned k = 1; k <= count; ++k) {
        if (pos + kCentralSize > directorySize)
            return broken(printf_text("the directory ends inside entry %u of %u", k, count));
        const std::uint8_t* record = directory.data() + pos;
        if (get_u32(record) != kCentralSignature)
            return broken(
                printf_text("entry %u of %u of the directory has no entry signature", k, count));
        const std::uint64_t nameSize = get_u16(record + 28), extraSize = get_u16(record + 30),
                            commentSize = get_u16(record + 32);
        if (pos + kCentralSize + nameSize + extraSize + commentSize > directorySize)
            return broken(
                printf_text("entry %u of %u runs past the end of the directory", k, count));
        ZipEntry entry;
        entry.flags = get_u16(record + 8);
        entry.method = get_u16(record + 10);
        entry.crc = get_u32(record + 16);
        entry.compressedSize = get_u32(record + 20);
        entry.size = get_u32(record + 24);
        entry.localOffset = get_u32(record + 42);
        entry.name.assign(reinterpret_cast<const char*>(record + kCentralSize), nameSize);
        entry.isFolder =
            !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
        entry.unsafeName = engine_refuses_name(entry.name);
        entry.problem = entry_problem(
            entry, has_zip64_extra(record + kCentralSize + nameSize, extraSize), place.offset);
        entries.push_back(std::move(entry));
        pos += kCentralSize + nameSize + extraSize + commentSize;
    }
    return {};
}

// Reads the end record and the central directory of `archive`, whose source
// is open and measured, into `archive.entries`.
ZipResult read_directory(ZipArchive& archive) {
    DirectoryPlace place;
    if (ZipResult found = find_directory(archive.source, place); !found.ok()) return found;
    std::vector<std::uint8_t> directory;
    std::vector<ZipEntry> entries;
    try {
        directory.resize(static_cast<std::size_t>(place.size));
        entries.reserve(place.count);
    } catch (const std::exception&) {
        return no_memory();
    }
    std::string reason;
    if (!read_at(archive.source, place.offset, directory.data(), place.size, reason))
        return failure(ZipStatus::cannot_open, reason);
    if (ZipResult parsed = parse_directory(directory, place, entries); !parsed.ok()) return parsed;
    archive.entries = std::move(entries);
    archive.directoryOffset = place.offset;
    refuse_shared_ranges(archive);
    return {};
}

// Inflates the raw deflate stream of `compressedSize` bytes at `offset` into
// `out`, which is exactly as large as the member declares, and sums its CRC
// into `crc` piece by piece, while each piece is still in the cache. Never
// writes past `out`: one byte more than declared is enough to refuse the
// member.
ZipResult inflate_member(const ZipArchive& archive, std::uint64_t offset,
                         std::uint64_t compressedSize, ModelBuffer& out, uLong& crc) {
    std::vector<std::uint8_t> chunk;
    z_stream stream{};
    try {
        chunk.resize(static_cast<std::size_t>(std::min(compressedSize, kInflateChunk)));
    } catch (const std::exception&) {
        return no_memory();
    }
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return no_memory();
    struct Ender {
        z_stream* stream;
        ~Ender() { inflateEnd(stream); }
    } ender{&stream};

    std::uint8_t spill = 0;
    bool full = false;  // the declared size is reached: output goes to `spill`
    std::uint64_t remaining = compressedSize;
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());  // at most kMaxMemberSize
    for (;;) {
        if (stream.avail_in == 0 && remaining > 0) {
            const std::uint64_t piece = std::min(remaining, kInflateChunk);
            std::string reason;
            if (!read_at(archive.source, offset, chunk.data(), piece, reason))
                return failure(ZipStatus::cannot_open, reason);
            stream.next_in = chunk.data();
            stream.avail_in = static_cast<uInt>(piece);
            offset += piece, remaining -= piece;
        }
        if (stream.avail_out == 0) {
            if (full)
                return unreadable(printf_text("inflates to more than the %llu bytes it declares",
                                              static_cast<ull>(out.size())));
            full = true;
            stream.next_out = &spill;
            stream.avail_out = 1;
        }
        Bytef* const before = stream.next_out;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (!full) crc = crc32(crc, before, static_cast<uInt>(stream.next_out - before));
        if (status == Z_STREAM_END) break;
        if (status == Z_MEM_ERROR) return no_memory();
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && remaining == 0)
            return unreadable("the deflate data ends before its stream does");
        if (status != Z_OK && status != Z_BUF_ERROR)
            return unreadable(std::string("bad deflate data: ") +
                              (stream.msg ? stream.msg : "unknown error"));
    }
    if (full && stream.avail_out == 0)
        return unreadable(printf_text("inflates to more than the %llu bytes it declares",
                                      static_cast<ull>(out.size())));
    const std::uint64_t produced = full ? out.size() : out.size() - stream.avail_out;
    if (produced < out.size())
        return unreadable(printf_text("inflates to %llu bytes, fewer than the %llu it declares",
                                      static_cast<ull>(produced), static_cast<ull>(out.size())));
    return {};
}

}  // namespace

ZipResult open_archive_file(const std::string& path, ZipArchive& archive) {
    archive = ZipArchive();
    ZipResult result = open_source_file(path, archive.source);
    if (result.ok()) result = read_directory(archive);
    if (!result.ok()) archive = ZipArchive();
    return result;
}

ZipResult open_archive_memory(std::span<const std::uint8_t> bytes, ZipArchive& archive) {
    archive = ZipArchive();
    archive.source.memory = bytes;
    archive.source.size = bytes.size();
    ZipResult result = read_directory(archive);
    if (!result.ok()) archive = ZipArchive();
    return result;
}

ZipResult read_member(const ZipArchive& archive, const ZipEntry& entry, ModelBuffer& bytes) {
    bytes.clear();
    if (!entry.problem.empty()) return unreadable(entry.problem);
    if (archive.isFolder) {
        ZipResult result = read_whole_file(member_path(archive.folder, entry.name), bytes);
        if (result.ok() && bytes.size() != entry.size) {
            result = unreadable(printf_text("changed while being read: %llu bytes, listed as %llu",
                                            static_cast<ull>(bytes.size()),
                                            static_cast<ull>(entry.size)));
        }
        if (!result.ok()) bytes.clear();
        return result;
    }

    // The directory's check put the local header and the declared data
    // before the directory; the header's own name and extra lengths are
    // checked here.
    std::uint8_t local[kLocalSize];
    std::string reason;
    if (!read_at(archive.source, entry.localOffset, local, kLocalSize, reason))
        return failure(ZipStatus::cannot_open, reason);
    if (get_u32(local) != kLocalSignature)
        return unreadable(
            printf_text("no local header at offset %llu", static_cast<ull>(entry.localOffset)));
    if ((get_u16(local + 6) & (kFlagEncrypted | kFlagStrongEncryption)) != 0)
        return unreadable("encrypted");
    const std::string disagreement = local_header_disagrees(entry, local);
    if (!disagreement.empty()) return unreadable(disagreement);
    const std::uint64_t dataOffset =
        entry.localOffset + kLocalSize + get_u16(local + 26) + get_u16(local + 28);
    if (dataOffset + entry.compressedSize > archive.directoryOffset)
        return unreadable(
            printf_text("its %llu bytes of data at offset %llu run past the "
                        "directory at offset %llu",
                        static_cast<ull>(entry.compressedSize), static_cast<ull>(dataOffset),
                        static_cast<ull>(archive.directoryOffset)));

    try {
        bytes.resize(static_cast<std::size_t>(entry.size));  // at most kMaxMemberSize
    } catch (const std::exception&) {
        return no_memory();
    }
    ZipResult result;
    uLong crc = crc32(0, nullptr, 0);
    if (entry.method == kStored) {
        if (!read_at(archive.source, dataOffset, bytes.data(), entry.size, reason))
            result = failure(ZipStatus::cannot_open, reason);
        else
            crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
    } else {
        result = inflate_member(archive, dataOffset, entry.compressedSize, bytes, crc);
    }
    if (result.ok() && static_cast<std::uint32_t>(crc) != entry.crc)
        result = unreadable(printf_text("CRC %08x does not match the %08x it declares",
                                        static_cast<unsigned>(crc), entry.crc));
    if (!result.ok()) bytes.clear();
    return result;
}

}  // namespace md3
