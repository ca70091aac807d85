// Positioned reads from an archive's file or memory. Each read names its own
// offset, so that threads reading different members of one archive never
// disturb one another, and no file position is kept between calls.
#include "archive_source.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "wide_names.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "text.hpp"

namespace {

// The most one read call is asked for: every system moves this much at once,
// and some refuse a count past 2 GiB.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

ZipResult failure(ZipStatus status, std::string reason) { return {status, std::move(reason)}; }

#ifdef _WIN32

std::string system_message(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

HANDLE open_for_reading(const std::string& path) {
    return CreateFileW(os_name(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Measures an open handle, which must be a regular disk file.
bool measure(HANDLE handle, std::uint64_t& size, std::string& reason) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = "not a regular file";
        return false;
    }
    size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

bool read_handle(HANDLE handle, std::uint64_t offset, std::uint8_t* out, std::uint64_t count,
                 std::string& reason) {
    while (count > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD asked = static_cast<DWORD>(std::min(count, kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(handle, out, asked, &got, &at)) {
            const DWORD error = GetLastError();
            reason = error == ERROR_HANDLE_EOF ? "the file ended early" : system_message(error);
            return false;
        }
        if (got == 0) {
            reason = "the file ended early";
            return false;
        }
        out += got, offset += got, count -= got;
    }
    return true;
}

#else

std::string system_message(int error) { return std::generic_category().message(error); }

// O_NONBLOCK: opening a pipe with no writer would wait for one forever.
// measure() keeps only a regular file and takes the flag off again.
int open_for_reading(const std::string& path) {
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Measures an open descriptor, which must be a regular file: a pipe cannot
// be read at an offset, and a device may never end.
bool measure(int fd, std::uint64_t& size, std::string& reason) {
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        reason = system_message(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = S_ISDIR(status.st_mode) ? system_message(EISDIR) : "not a regular file";
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        reason = system_message(errno);
        return false;
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool read_handle(int fd, std::uint64_t offset, std::uint8_t* out, std::uint64_t count,
                 std::string& reason) {
    while (count > 0) {
        const ssize_t got =
            ::pread(fd, out, static_cast<std::size_t>(std::min(count, kMaxTransfer)),
                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = system_message(errno);
            return false;
        }
        if (got == 0) {
            reason = "the file ended early";
            return false;
        }
        const auto done = static_cast<std::uint64_t>(got);
        out += done, offset += done, count -= done;
    }
    return true;
}

#endif

}  // namespace

ZipResult open_source_file(const std::string& path, ZipArchive& archive) {
    const auto handle = open_for_reading(path);
    std::string reason;
#ifdef _WIN32
    if (handle == INVALID_HANDLE_VALUE)
        return failure(ZipStatus::cannot_open, system_message(GetLastError()));
#else
    // A socket, or a device with no driver behind it, will not open for
    // reading at all.
    if (handle < 0)
        return failure(ZipStatus::cannot_open,
                       errno == ENXIO ? "not a regular file" : system_message(errno));
#endif
    archive.file = handle;
    if (!measure(handle, archive.fileSize, reason)) {
        close_source_file(archive);
        return failure(ZipStatus::cannot_open, reason);
    }
    return {};
}

void close_source_file(ZipArchive& archive) {
#ifdef _WIN32
    if (archive.file) CloseHandle(archive.file);
    archive.file = nullptr;
#else
    if (archive.file >= 0) ::close(archive.file);
    archive.file = -1;
#endif
}

bool read_at(const ZipArchive& archive, std::uint64_t offset, std::uint8_t* out,
             std::uint64_t count, std::string& reason) {
    if (count == 0) return true;
#ifdef _WIN32
    const bool inMemory = archive.file == nullptr;
#else
    const bool inMemory = archive.file < 0;
#endif
    if (inMemory) {
        if (offset > archive.memory.size() || count > archive.memory.size() - offset) {
            reason = "the file ended early";
            return false;
        }
        std::memcpy(out, archive.memory.data() + offset, static_cast<std::size_t>(count));
        return true;
    }
    return read_handle(archive.file, offset, out, count, reason);
}

ZipResult read_whole_file(const std::string& path, ModelBuffer& bytes) {
    bytes.clear();
    ZipArchive file;
    ZipResult opened = open_source_file(path, file);
    if (!opened.ok()) return opened;
    if (file.fileSize > kMaxMemberSize)
        return failure(ZipStatus::unreadable,
                       printf_text("%llu bytes, more than the %llu a member may have",
                                   static_cast<unsigned long long>(file.fileSize),
                                   static_cast<unsigned long long>(kMaxMemberSize)));
    try {
        bytes.resize(static_cast<std::size_t>(file.fileSize));
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
