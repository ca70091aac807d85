// Whole-file load and replace-on-save. The bytes move with plain POSIX reads
// and writes, straight between the file and the buffer; Windows reads and
// writes them through the C library, with wide names. Saving works in the
// output's folder through the system's own calls, which is what lets it
// follow links as an open would, keep long names working and make the
// replacement survive a crash.
#include "model_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>
#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "wide_names.hpp"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

// A file open for reading through the C library, closed when this goes away.
class InputFile {
public:
    explicit InputFile(const std::string& path) {
        // A directory may open for reading and report an absurd size.
        const DWORD attributes = GetFileAttributesW(os_name(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error_ = EISDIR;
            return;
        }
        file_ = _wfopen(os_name(path).c_str(), L"rb");
        if (!file_) error_ = errno;
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (file_) std::fclose(file_);
    }
    bool is_open() const { return file_ != nullptr; }
    int error() const { return error_; }
    // Length of the file, or -1 when it cannot be measured; leaves it
    // positioned at its start.
    std::int64_t length() {
        // long is 32 bits there: no fseek or ftell.
        if (_fseeki64(file_, 0, SEEK_END) != 0) return failed();
        const std::int64_t size = _ftelli64(file_);
        return _fseeki64(file_, 0, SEEK_SET) == 0 ? size : failed();
    }
    // Reads `size` bytes; false on an error or an early end of file.
    bool read(std::uint8_t* data, std::size_t size) {
        if (std::fread(data, 1, size, file_) == size) return true;
        error_ = std::ferror(file_) ? errno : EIO;
        return false;
    }

private:
    std::int64_t failed() {
        error_ = errno;
        return -1;
    }
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

#else

// The most one read or write call is asked for: every system moves this much
// at once, and some refuse a count past 2 GiB.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// A file open for reading, closed when this goes away. It is read with as few
// system calls as its size allows, straight into the buffer.
class InputFile {
public:
    explicit InputFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) error_ = errno;
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0; }
    int error() const { return error_; }
    // Length of the file, or -1 when it cannot be measured; leaves it
    // positioned at its start.
    std::int64_t length() {
        struct stat status;
        if (::fstat(fd_, &status) != 0) return failed(errno);
        // A directory opens for reading and may report an absurd size.
        if (S_ISDIR(status.st_mode)) return failed(EISDIR);
        if (S_ISREG(status.st_mode)) return status.st_size;
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return failed(errno);
        return end;
    }
    // Reads `size` bytes; false on an error or an early end of file.
    bool read(std::uint8_t* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t got = ::read(fd_, data + done, std::min(size - done, kMaxTransfer));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return failed(errno) == 0;
            if (got == 0) return failed(EIO) == 0;  // the file ended early
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    std::int64_t failed(int error) {
        error_ = error;
        return -1;
    }
    int fd_;
    int error_ = 0;
};

#endif

// Writes all of `bytes` to `file`, which has nothing buffered yet. Outside
// Windows they go straight to its descriptor: the stream's buffer would only
// add a copy.
bool write_all(std::FILE* file, std::span<const std::uint8_t> bytes) {
#ifdef _WIN32
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
           std::fflush(file) == 0 && !std::ferror(file);
#else
    if (std::fflush(file) != 0) return false;
    const int fd = fileno(file);
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t count = std::min(bytes.size() - done, kMaxTransfer);
        const ssize_t put = ::write(fd, bytes.data() + done, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
#endif
}

}  // namespace

LoadResult load_model(const std::string& path, ModelBuffer& model, LoadFailure* failure) {
    LoadFailure ignored;
    LoadFailure& why = failure ? *failure : ignored;
    why = LoadFailure{};
    model.clear();
    InputFile file(path);
    const auto cannot_open = [&] {
        why.error = std::error_code(file.error(), std::generic_category());
        return LoadResult::cannot_open;
    };
    if (!file.is_open()) return cannot_open();

    const std::int64_t size = file.length();
    if (size < 0) return cannot_open();
    why.size = size;
    if (size < Md3Header::kSize) return LoadResult::too_short;

    try {
        model.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {  // bad_alloc or a size beyond the vector's reach
        why.error = std::make_error_code(std::errc::not_enough_memory);
        return LoadResult::no_memory;
    }

    // A short read would leave part of the buffer made up; treat it as a file
    // that could not be read rather than repair and save invented bytes.
    if (!file.read(model.data(), model.size())) {
        model.clear();
        return cannot_open();
    }
    return LoadResult::ok;
}

namespace {

// Splits `name` after its last separator into the folder part (which keeps
// the separator: "models/", "/", "C:\\", or empty for a bare name) and the
// last component.
std::pair<std::string, std::string> split_name(const std::string& name) {
#ifdef _WIN32
    std::size_t cut = name.find_last_of("/\\");
    if (cut == std::string::npos && name.size() >= 2 && name[1] == ':') cut = 1;  // "C:ship.md3"
#else
    const std::size_t cut = name.find_last_of('/');
#endif
    if (cut == std::string::npos) return {std::string(), name};
    return {name.substr(0, cut + 1), name.substr(cut + 1)};
}

// A hidden name beside the target: ".skiff.md3.tmp123456", or, where that
// would be too long for the folder, ".md3tmp123456".
std::string temporary_name(const std::string& target, bool full, unsigned number) {
    return full ? "." + target + ".tmp" + std::to_string(number)
                : ".md3tmp" + std::to_string(number);
}

#ifdef _WIN32

std::FILE* create_new(PendingOutput& out, const std::string& temp) {
    // The C runtime MinGW links against knows no "x" mode.
    int fd = -1;
    const std::wstring name = os_name(out.folder + temp);
    if (_wsopen_s(&fd, name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
    return file;
}

void remove_temporary(const PendingOutput& out) {
    DeleteFileW(os_name(out.folder + out.temp).c_str());
}

// Symbolic links are left to the system there: the output name is replaced
// as it is.
bool find_target(const std::string& name, PendingOutput& out) {
    auto [folder, leaf] = split_name(name);
    out.folder = std::move(folder);
    out.target = std::move(leaf);
    return true;
}

// Read-only is the only permission there, and a read-only file cannot be
// replaced at all, so there is nothing to carry over.
bool keep_permissions(const PendingOutput&) { return true; }

bool flush_to_disk(std::FILE* file) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
}

// The rename below is written through to the disk before it returns.
bool flush_folder(const PendingOutput&) { return true; }

bool replace_target(const PendingOutput& out) {
    // A plain rename there refuses to replace an existing file.
    return MoveFileExW(os_name(out.folder + out.temp).c_str(),
                       os_name(out.folder + out.target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

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

// Finds the folder and the name in it that writing to `name` would create or
// replace: a symbolic link is followed to the file it names, so the link stays.
bool find_target(const std::string& name, PendingOutput& out) {
    // Whether the name can be opened at all is the system's call: a loop of
    // links, a chain longer than it follows, a path too long for it or a
    // folder that cannot be searched fail here as they would for any program,
    // before anything is created. Only a missing file is fine; it is made.
    struct stat status;
    if (::stat(name.c_str(), &status) != 0 && errno != ENOENT) return false;

    auto [folder, leaf] = split_name(name);
    out.folder = open_folder(AT_FDCWD, folder);
    if (out.folder < 0) return false;
    // The system has just followed the same chain within its limit; a longer
    // one now means the links changed under us.
    for (int hops = 0; hops <= 64; ++hops) {
        if (leaf.empty() || leaf == "." || leaf == "..") return false;  // a folder, not a file
        std::string link;
        switch (read_link(out.folder, leaf, link)) {
            case Link::none: {
                // Only a regular file is replaced, or a new one made: a
                // folder, a device or a pipe in its place is no model file,
                // and swapping it for one (/dev/null, say) would do harm.
                struct stat found;
                if (::fstatat(out.folder, leaf.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
                    !S_ISREG(found.st_mode))
                    return false;
                out.target = std::move(leaf);
                return true;
            }
            case Link::error: return false;
            case Link::read: break;
        }
        auto [linkFolder, linkLeaf] = split_name(link);
        if (!linkFolder.empty()) {
            const int next = open_folder(link.front() == '/' ? AT_FDCWD : out.folder, linkFolder);
            ::close(out.folder);
            out.folder = next;
            if (next < 0) return false;
        }
        leaf = std::move(linkLeaf);
    }
    return false;
}

std::FILE* create_new(PendingOutput& out, const std::string& temp) {
    const int fd =
        ::openat(out.folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) ::close(fd);
    return file;
}

void remove_temporary(const PendingOutput& out) { ::unlinkat(out.folder, out.temp.c_str(), 0); }

// A replaced file keeps its permission bits, and its owner and group as far
// as this process may give them (all of them for root; else a group it is in).
bool keep_permissions(const PendingOutput& out) {
    struct stat old;
    if (::fstatat(out.folder, out.target.c_str(), &old, 0) != 0) return true;  // a new file
    const int fd = ::fileno(out.file);
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

bool flush_to_disk(std::FILE* file) {
#ifdef F_FULLFSYNC
    // A plain fsync there stops at the drive's own cache.
    if (::fcntl(::fileno(file), F_FULLFSYNC) == 0) return true;
#endif
    return ::fsync(::fileno(file)) == 0;
}

// A rename lives in the folder's own data, which needs its own flush. A
// system that cannot flush a folder at all says EINVAL; there is nothing more
// to do there.
bool flush_folder(const PendingOutput& out) { return ::fsync(out.folder) == 0 || errno == EINVAL; }

bool replace_target(const PendingOutput& out) {
    return ::renameat(out.folder, out.temp.c_str(), out.folder, out.target.c_str()) == 0;
}

#endif

void discard(PendingOutput& out) {
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    if (!out.temp.empty()) remove_temporary(out);
    out.temp.clear();
    out.target.clear();
#ifdef _WIN32
    out.folder.clear();
#else
    if (out.folder >= 0) ::close(out.folder);
    out.folder = -1;
#endif
}

}  // namespace

PendingOutput::~PendingOutput() { discard(*this); }

void remove_temporary_now(const PendingOutput& out) noexcept {
    if (!out.temp.empty()) remove_temporary(out);
}

bool open_output(const std::string& name, PendingOutput& out) {
    discard(out);
    if (!find_target(name, out)) {
        discard(out);
        return false;
    }
    std::random_device entropy;
    std::minstd_rand pick(entropy());
    bool full = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = temporary_name(out.target, full, pick() % 1000000);
        errno = 0;
        out.file = create_new(out, temp);
        if (out.file) {
            out.temp = temp;
            return true;
        }
        // Never take over a file that already exists under that name; any
        // other failure may be the full name being too long for the folder.
        if (errno == EEXIST) continue;
        if (!full) break;
        full = false;
    }
    discard(out);
    return false;
}

bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes) {
    const bool written = write_all(out.file, bytes);
    // The bytes must be on the disk before the rename makes them the output:
    // after a crash the name must not lead to blocks that were never written.
    const bool kept = written && keep_permissions(out) && flush_to_disk(out.file);
    const bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (!kept || !closed || !replace_target(out)) {
        discard(out);
        return false;
    }
    out.temp.clear();  // it is the output now
    // Should this fail, the new model is complete and in place, but a crash
    // could still bring back the old one.
    const bool durable = flush_folder(out);
    discard(out);
    return durable;
}
