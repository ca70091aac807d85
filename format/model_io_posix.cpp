// The load and save steps on POSIX systems. The bytes move with plain reads
// and writes, straight between the file and the buffer, and the save works
// inside the output's folder, held open, through the *at calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "model_io_platform.hpp"

namespace md3 {

namespace {

// The most one read or write call is asked for: every system moves this much
// at once, and some refuse a count past 2 GiB.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Splits `name` after its last separator into the folder part (which keeps
// the separator: "models/", "/", or empty for a bare name) and the last
// component.
std::pair<std::string, std::string> split_name(const std::string& name) {
    const std::size_t cut = name.find_last_of('/');
    if (cut == std::string::npos) return {std::string(), name};
    return {name.substr(0, cut + 1), name.substr(cut + 1)};
}

// Opens folder `path` (relative to `at`) to work in; "" is `at` itself.
int open_folder(int at, const std::string& path) {
    return ::openat(at, path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

enum class Link { none, read, error };

// Reads the symbolic link `leaf` in `folder`; `none` when it is not a link or
// not there at all.
Link read_link(int folder, const std::string& leaf, std::string& link) {
    for (std::size_t size = 256; size <= (std::size_t{1} << 20); size *= 2) {
        link.resize(size);
        const ssize_t got = ::readlinkat(folder, leaf.c_str(), link.data(), size);
        if (got < 0) return errno == EINVAL || errno == ENOENT ? Link::none : Link::error;
        if (static_cast<std::size_t>(got) < size) {
            link.resize(static_cast<std::size_t>(got));
            return Link::read;
        }
    }
    return Link::error;
}

// Only a regular file is replaced, or a new one made: a folder, a device or a
// pipe in its place is no model file, and swapping it for one (/dev/null,
// say) would do harm.
bool may_replace(int folder, const std::string& leaf, bool link = false) {
    struct stat found;
    return ::fstatat(folder, leaf.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0 ||
           S_ISREG(found.st_mode) || (link && S_ISLNK(found.st_mode));
}

// The folder of `name` opened, and its last component as the target, a link
// there included: nothing it leads to is looked at.
bool find_link_itself(const std::string& name, OutputState& out) {
    auto [folder, leaf] = split_name(name);
    if (leaf.empty() || leaf == "." || leaf == "..") return false;
    out.folder.fd = open_folder(AT_FDCWD, folder);
    if (out.folder.fd < 0 || !may_replace(out.folder.fd, leaf, true)) return false;
    out.target = std::move(leaf);
    return true;
}

}  // namespace

InputFile open_input(const std::string& path) {
    InputFile file;
    // O_NONBLOCK: opening a pipe or a terminal must not wait for its other
    // end. It is taken off again once the file is known to be regular.
    do file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0) {
        // A socket, or a device with no driver behind it, is named but will
        // not open for reading: not a regular file either.
        file.error = errno == ENXIO ? kNotRegularFile : errno;
        return file;
    }
    struct stat status;
    int flags = -1;
    if (::fstat(file.fd, &status) != 0 || (flags = ::fcntl(file.fd, F_GETFL)) < 0)
        file.error = errno;
    else if (S_ISDIR(status.st_mode))
        file.error = EISDIR;
    else if (!S_ISREG(status.st_mode))
        file.error = kNotRegularFile;
    else if (::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        file.error = errno;
    if (file.error != 0) close_input(file);
    return file;
}

std::int64_t input_length(InputFile& file) {
    struct stat status;
    if (::fstat(file.fd, &status) != 0) {
        file.error = errno;
        return -1;
    }
    // open_input took only a regular file.
    return status.st_size;
}

bool read_input(InputFile& file, std::span<std::uint8_t> into) {
    for (std::size_t done = 0; done < into.size();) {
        const std::size_t count = std::min(into.size() - done, kMaxTransfer);
        const ssize_t got = ::read(file.fd, into.data() + done, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            file.error = got < 0 ? errno : EIO;  // EIO: the file ended early
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void close_input(InputFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
}

bool find_target(const std::string& name, OutputState& out) {
    if (out.links == OutputLinks::replace) return find_link_itself(name, out);
    // Whether the name can be opened at all is the system's call: a loop of
    // links, a chain longer than it follows, a path too long for it or a
    // folder that cannot be searched fail here as they would for any program,
    // before anything is created. Only a missing file is fine; it is made.
    struct stat status;
    if (::stat(name.c_str(), &status) != 0 && errno != ENOENT) return false;

    auto [folder, leaf] = split_name(name);
    out.folder.fd = open_folder(AT_FDCWD, folder);
    if (out.folder.fd < 0) return false;
    // The system has just followed the same chain within its limit; a longer
    // one now means the links changed under us.
    for (int hops = 0; hops <= 64; ++hops) {
        if (leaf.empty() || leaf == "." || leaf == "..") return false;  // a folder, not a file
        std::string link;
        switch (read_link(out.folder.fd, leaf, link)) {
            case Link::none:
                if (!may_replace(out.folder.fd, leaf)) return false;
                out.target = std::move(leaf);
                return true;
            case Link::error: return false;
            case Link::read: break;
        }
        auto [linkFolder, linkLeaf] = split_name(link);
        if (!linkFolder.empty()) {
            const int at = link.front() == '/' ? AT_FDCWD : out.folder.fd;
            const int next = open_folder(at, linkFolder);
            ::close(out.folder.fd);
            out.folder.fd = next;
            if (next < 0) return false;
        }
        leaf = std::move(linkLeaf);
    }
    return false;
}

bool name_temporary(OutputState& out, const std::string& leaf) {
    TemporaryName& name = out.temporary;
    if (leaf.size() >= sizeof name.leaf) return false;
    std::memcpy(name.leaf, leaf.c_str(), leaf.size() + 1);
    name.folder = out.folder.fd;
    return true;
}

int create_new(const OutputState& out) {
    return ::openat(out.temporary.folder, out.temporary.leaf,
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t count = std::min(bytes.size() - done, kMaxTransfer);
        const ssize_t put = ::write(fd, bytes.data() + done, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// A replaced file keeps its permission bits, and its owner and group as far
// as this process may give them (all of them for root; else a group it is in).
bool keep_permissions(const OutputState& out) {
    // A link replaced as itself passes on nothing: its bits say nothing of the file.
    const int follow = out.links == OutputLinks::replace ? AT_SYMLINK_NOFOLLOW : 0;
    struct stat old;
    if (::fstatat(out.folder.fd, out.target.c_str(), &old, follow) != 0 || S_ISLNK(old.st_mode))
        return true;  // a new file
    if (::fchown(out.file, old.st_uid, old.st_gid) != 0)
        (void)::fchown(out.file, static_cast<uid_t>(-1), old.st_gid);
    return ::fchmod(out.file, old.st_mode & 07777) == 0;
}

bool flush_to_disk(int fd) {
#ifdef F_FULLFSYNC
    // A plain fsync there stops at the drive's own cache.
    if (::fcntl(fd, F_FULLFSYNC) == 0) return true;
#endif
    return ::fsync(fd) == 0;
}

bool close_file(int fd) { return ::close(fd) == 0; }

bool replace_target(const OutputState& out) {
    return ::renameat(out.folder.fd, out.temporary.leaf, out.folder.fd, out.target.c_str()) == 0;
}

// A rename lives in the folder's own data, which needs its own flush. A
// system that cannot flush a folder at all says EINVAL; there is nothing more
// to do there.
bool flush_folder(const OutputState& out) { return ::fsync(out.folder.fd) == 0 || errno == EINVAL; }

void close_folder(OutputState& out) {
    if (out.folder.fd >= 0) ::close(out.folder.fd);
    out.folder.fd = -1;
}

void remove_temporary_now(const TemporaryName& name) noexcept {
    if (name.leaf[0] != '\0') ::unlinkat(name.folder, name.leaf, 0);
}

}  // namespace md3
