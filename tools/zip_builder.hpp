// Writes small zip archives from a plain description, for the tests and the
// fuzzing seeds: stored and deflate members, folder entries, a comment. It
// also says where each record landed, so that a test can break one field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BuiltMember {
    std::string name;  // as stored; a name ending in '/' is a folder entry
    std::vector<std::uint8_t> data;
    bool deflate = true;  // else stored
};

struct BuiltZip {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> localOffsets;    // each member's local header
    std::vector<std::uint64_t> centralOffsets;  // each member's directory entry
    std::uint64_t directoryOffset = 0;
    std::uint64_t endOffset = 0;  // the end of central directory record
};

// Local headers and data in order, then the central directory, then the end
// record with `comment`. Deflate members are compressed at the best level.
BuiltZip build_zip(const std::vector<BuiltMember>& members, const std::string& comment = "");

// `size` bytes of text-like data that deflate compresses well but not
// trivially; the same bytes on every host for the same `seed`.
std::vector<std::uint8_t> sample_bytes(std::size_t size, unsigned seed);
