// The bytes behind a ZipArchive: positioned reads from an open file or from
// memory, and the file handles themselves. Internal to the archive library.
#pragma once

#include <cstdint>
#include <string>

#include "zip_reader.hpp"

// Opens `path` (UTF-8) for positioned reads into `archive.file` and measures
// it into `archive.fileSize`. Only a regular file is taken, and the open never
// waits: a folder, a pipe, a socket or a device gives cannot_open with the
// reason.
ZipResult open_source_file(const std::string& path, ZipArchive& archive);

// Closes `archive.file` if it is open.
void close_source_file(ZipArchive& archive);

// Reads `count` bytes at `offset` of the archive's file or memory into `out`.
// The caller has checked that the range lies inside `archive.fileSize`; a
// false return is the system's failure (or a file that shrank), with
// `reason` set.
bool read_at(const ZipArchive& archive, std::uint64_t offset, std::uint8_t* out,
             std::uint64_t count, std::string& reason);

// Reads the whole regular file `path` (UTF-8) into `bytes`, refusing one
// larger than kMaxMemberSize before allocating.
ZipResult read_whole_file(const std::string& path, ModelBuffer& bytes);

// The path of the member `name` of the folder `folder`: the two joined by
// '/', the separator every system takes, unless the folder ends in one.
inline std::string member_path(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    if (folder.ends_with('\\')) return folder + name;
#endif
    return folder.ends_with('/') || folder.empty() ? folder + name : folder + "/" + name;
}
