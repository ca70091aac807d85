// Reading .pk3 (zip) archives member by member, trusting nothing in them, and
// reading a .pk3dir folder in the same shape.
//
// Only what the engine reads is read: stored and deflate members of a classic
// (not zip64) archive. The directory is parsed and every offset, size and
// count in it checked against the file before anything is sized by it, and
// every member must lie in bytes of its own; a member is read through its
// local header, inflated into a buffer of exactly its declared size and
// checked against its CRC. The archive stays on disk: only its directory and
// the member being read are held in memory.
//
// Nothing here prints, exits or touches process state; every failure comes
// back as a ZipResult with the reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive_source.hpp"
#include "engine_names.hpp"
#include "md3_layout.hpp"

namespace md3 {

// The largest central directory the reader will hold. 65535 entries (the
// most a classic archive can count) with long names fit many times over.
inline constexpr std::uint64_t kMaxDirectorySize = std::uint64_t{64} << 20;

// One member as the central directory (or the folder) lists it.
struct ZipEntry {
    std::string name;          // as stored: bytes, in the archive's own case and separators
    std::uint16_t method = 0;  // 0 stored, 8 deflate
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;         // what it declares to inflate to
    std::uint64_t localOffset = 0;  // its local header, from the start of the file
    bool isFolder = false;          // a name ending in '/' or '\': a folder entry, no data
    bool unsafeName = false;        // contains ".." or "::": the engine refuses to open it
    // Empty when the directory gives no reason to refuse the member; otherwise
    // why it cannot be read (reading it gives this reason back).
    std::string problem;
};

// An open archive or .pk3dir folder. It owns the file handle it reads from
// and closes it when it goes away. Members may be read from several threads
// at once: reads are positioned and share no state.
struct ZipArchive {
    ZipArchive() = default;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ZipArchive(ZipArchive&& other) noexcept = default;
    ZipArchive& operator=(ZipArchive&& other) noexcept = default;

    // In the directory's order for an archive; in byte order of the names for
    // a folder.
    std::vector<ZipEntry> entries;

    // Where the bytes come from: an open file or a span of memory (which
    // must outlive the archive), or, for a folder, its path.
    ArchiveSource source;
    std::string folder;
    bool isFolder = false;
    std::uint64_t directoryOffset = 0;  // member data lies before it
};

// Opens the zip archive `path` (UTF-8) and reads its directory. On failure
// `archive` has no entries and the result says why.
ZipResult open_archive_file(const std::string& path, ZipArchive& archive);

// The same over bytes in memory, which must stay alive and unchanged for as
// long as `archive` is used.
ZipResult open_archive_memory(std::span<const std::uint8_t> bytes, ZipArchive& archive);

// Lists every regular file below the folder `path` (a .pk3dir) as an entry:
// the name relative to the folder with '/' between components, the size as
// the system reports it, method 0 and no CRC to check. Links to folders are
// not followed. A file that cannot be read as a member (a pipe, a device, one
// too large) is listed with its problem.
ZipResult open_archive_folder(const std::string& path, ZipArchive& archive);

// Reads `entry` (one of `archive.entries`) into `bytes`, which ends up exactly
// `entry.size` bytes long. Fails as unreadable when the directory already
// gave a problem (among them bytes shared with an earlier member), when the
// local header disagrees with the directory entry (method, name length, and
// CRC and sizes unless a data descriptor follows), when the local header or
// the data lies outside the file, when the data inflates to more or fewer
// bytes than declared or does not match its CRC. Never inflates past the
// declared size. On failure `bytes` is left empty.
ZipResult read_member(const ZipArchive& archive, const ZipEntry& entry, ModelBuffer& bytes);

}  // namespace md3
