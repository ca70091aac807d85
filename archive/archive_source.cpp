// Reads from an archive's file or memory, and whole files. Each read names
// its own offset, so that threads reading different members of one archive
// never disturb one another, and no file position is kept between calls.
#include "archive_source.hpp"

#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

#include "text.hpp"

namespace md3 {

namespace {

ZipResult failure(ZipStatus status, std::string reason) { return {status, std::move(reason)}; }

}  // namespace

ArchiveSource::ArchiveSource(ArchiveSource&& other) noexcept { *this = std::move(other); }

ArchiveSource& ArchiveSource::operator=(ArchiveSource&& other) noexcept {
    if (this == &other) return *this;
    close_source_file(*this);
    file = std::exchange(other.file, kNoFile);
    memory = other.memory;
    size = other.size;
    return *this;
}

ArchiveSource::~ArchiveSource() { close_source_file(*this); }

bool read_at(const ArchiveSource& source, std::uint64_t offset, std::uint8_t* out,
             std::uint64_t count, std::string& reason) {
    if (count == 0) return true;
    if (source.file == ArchiveSource::kNoFile) {
        if (offset > source.memory.size() || count > source.memory.size() - offset) {
            reason = "the file ended early";
            return false;
        }
        std::memcpy(out, source.memory.data() + offset, static_cast<std::size_t>(count));
        return true;
    }
    return read_file_at(source.file, offset, out, count, reason);
}

ZipResult read_whole_file(const std::string& path, ModelBuffer& bytes) {
    bytes.clear();
    ArchiveSource file;
    ZipResult opened = open_source_file(path, file);
    if (!opened.ok()) return opened;
    if (file.size > kMaxMemberSize)
        return failure(ZipStatus::unreadable,
                       printf_text("%llu bytes, more than the %llu a member may have",
                                   static_cast<unsigned long long>(file.size),
                                   static_cast<unsigned long long>(kMaxMemberSize)));
    try {
        bytes.resize(static_cast<std::size_t>(file.size));
    } catch (const std::exception&) {
        return failure(ZipStatus::no_memory,
                       std::make_error_code(std::errc::not_enough_memory).message());
    }
    std::string reason;
    if (!read_at(file, 0, bytes.data(), bytes.size(), reason)) {
        bytes.clear();
        return failure(ZipStatus::cannot_open, reason);
    }
    return {};
}

}  // namespace md3
