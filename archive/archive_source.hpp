// The bytes an archive is read from: a file open for positioned reads, or
// bytes in memory; and a whole file read into memory. Public: the archive
// readers and whoever reads loose game files share them. Each system's steps
// are in archive_source_posix.cpp and archive_source_windows.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "md3_layout.hpp"

namespace md3 {

// The largest member the reader will read or inflate, checked against the
// size the directory declares before any allocation. Real models and
// textures are a few MiB at most; a member declaring more is refused as
// unreadable, so a small file can never make the reader allocate gigabytes.
inline constexpr std::uint64_t kMaxMemberSize = std::uint64_t{256} << 20;

enum class ZipStatus {
    ok,
    cannot_open,  // the system could not open or read the file (or folder)
    broken,       // the archive's end record or directory is unusable: no member can be read
    unreadable,   // this member cannot be read; the others may
    no_memory,    // no buffer as large as the member could be allocated
};

// What an operation came to, with the reason when it was not ok.
struct ZipResult {
    ZipStatus status = ZipStatus::ok;
    std::string reason;
    bool ok() const { return status == ZipStatus::ok; }
};

// A file open for positioned reads, or bytes in memory (which must outlive
// it). It owns the file handle and closes it when it goes away. Reads are
// positioned and share no state, so several threads may read at once.
struct ArchiveSource {
#ifdef _WIN32
    using Handle = void*;  // a HANDLE
    static constexpr Handle kNoFile = nullptr;
#else
    using Handle = int;
    static constexpr Handle kNoFile = -1;
#endif
    ArchiveSource() = default;
    ArchiveSource(const ArchiveSource&) = delete;
    ArchiveSource& operator=(const ArchiveSource&) = delete;
    ArchiveSource(ArchiveSource&& other) noexcept;
    ArchiveSource& operator=(ArchiveSource&& other) noexcept;
    ~ArchiveSource();

    Handle file = kNoFile;
    std::span<const std::uint8_t> memory;
    std::uint64_t size = 0;
};

// Opens `path` (UTF-8) for positioned reads into `source.file` and measures
// it into `source.size`. Only a regular file is taken, and the open never
// waits: a folder, a pipe, a socket or a device gives cannot_open with the
// reason.
ZipResult open_source_file(const std::string& path, ArchiveSource& source);

// Closes `source.file` if it is open.
void close_source_file(ArchiveSource& source);

// Reads `count` bytes at `offset` of the source's file or memory into `out`.
// The caller has checked that the range lies inside `source.size`; a false
// return is the system's failure (or a file that shrank), with `reason` set.
bool read_at(const ArchiveSource& source, std::uint64_t offset, std::uint8_t* out,
             std::uint64_t count, std::string& reason);

// The same from the open file `file`, by the system's positioned reads.
bool read_file_at(ArchiveSource::Handle file, std::uint64_t offset, std::uint8_t* out,
                  std::uint64_t count, std::string& reason);

// Reads the whole regular file `path` (UTF-8) into `bytes`, refusing one
// larger than kMaxMemberSize before allocating.
ZipResult read_whole_file(const std::string& path, ModelBuffer& bytes);

// The path of the member `name` of the folder `folder`: the two joined by
// '/', the separator every system takes, unless the folder ends in a
// separator of the system.
std::string member_path(const std::string& folder, const std::string& name);

}  // namespace md3
