// Positioned reads from a file on POSIX systems: pread, so that no file
// position is shared between threads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "archive_source.hpp"

namespace md3 {

namespace {

// The most one read call is asked for: every system moves this much at once,
// and some refuse a count past 2 GiB.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

ZipResult failure(ZipStatus status, std::string reason) { return {status, std::move(reason)}; }

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

}  // namespace

ZipResult open_source_file(const std::string& path, ArchiveSource& source) {
    const int handle = open_for_reading(path);
    // A socket, or a device with no driver behind it, will not open for
    // reading at all.
    if (handle < 0)
        return failure(ZipStatus::cannot_open,
                       errno == ENXIO ? "not a regular file" : system_message(errno));
    source.file = handle;
    std::string reason;
    if (!measure(handle, source.size, reason)) {
        close_source_file(source);
        return failure(ZipStatus::cannot_open, reason);
    }
    return {};
}

void close_source_file(ArchiveSource& source) {
    if (source.file >= 0) ::close(source.file);
    source.file = -1;
}

bool read_file_at(ArchiveSource::Handle file, std::uint64_t offset, std::uint8_t* out,
                  std::uint64_t count, std::string& reason) {
    return read_handle(file, offset, out, count, reason);
}

std::string member_path(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') || folder.empty() ? folder + name : folder + "/" + name;
}

}  // namespace md3
