// Whole-file load and replace-on-save, with the standard library. The bytes
// themselves move with plain POSIX reads and writes, straight between the file
// and the buffer; Windows reads and writes them through the C library and gets
// its own calls in three places where that falls short there: sizes past
// 2 GiB, exclusive creation and replacing an existing file.
#include "model_io.hpp"

#include <exception>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
// The most one read or write call is asked for: every system moves this much
// at once, and some refuse a count past 2 GiB.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
#endif

// Creates `path` for writing in binary mode, failing if it already exists.
std::FILE* create_new(const fs::path& path) {
#ifdef _WIN32
    // The C runtime MinGW links against knows no "x" mode.
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
    return file;
#else
    return std::fopen(path.string().c_str(), "wbx");
#endif
}

// Puts `temp` in the place of `target`, replacing it if it exists.
bool replace_file(const fs::path& temp, const fs::path& target) {
#ifdef _WIN32
    // A plain rename there refuses to replace an existing file.
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    std::error_code ec;
    fs::rename(temp, target, ec);
    return !ec;
#endif
}

// A file open for reading, closed when this goes away. Windows reads through
// the C library; elsewhere the file is read with as few system calls as its
// size allows, straight into the buffer.
class InputFile {
public:
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
#ifdef _WIN32
    explicit InputFile(const std::string& path) {
        // Some systems open a directory for reading and report an absurd size.
        std::error_code ec;
        if (!fs::is_directory(path, ec)) file_ = std::fopen(path.c_str(), "rb");
    }
    ~InputFile() {
        if (file_) std::fclose(file_);
    }
    bool is_open() const { return file_ != nullptr; }
    // Length of the file, or -1 when it cannot be measured; leaves it positioned
    // at its start.
    std::int64_t length() {
        // long is 32 bits there: no fseek or ftell.
        if (_fseeki64(file_, 0, SEEK_END) != 0) return -1;
        const std::int64_t size = _ftelli64(file_);
        return _fseeki64(file_, 0, SEEK_SET) == 0 ? size : -1;
    }
    bool read(std::uint8_t* data, std::size_t size) {
        return std::fread(data, 1, size, file_) == size;
    }

private:
    std::FILE* file_ = nullptr;
#else
    explicit InputFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~InputFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0; }
    // Length of the file, or -1 when it cannot be measured; leaves it positioned
    // at its start.
    std::int64_t length() {
        struct stat status;
        // A directory opens for reading and may report an absurd size.
        if (::fstat(fd_, &status) != 0 || S_ISDIR(status.st_mode)) return -1;
        if (S_ISREG(status.st_mode)) return status.st_size;
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        return end >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0 ? end : -1;
    }
    // Reads `size` bytes; false on an error or an early end of file.
    bool read(std::uint8_t* data, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t got = ::read(fd_, data + done, std::min(size - done, kMaxTransfer));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
#endif
};

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

LoadResult load_model(const std::string& path, ModelBuffer& model) {
    model.clear();
    InputFile file(path);
    if (!file.is_open()) return LoadResult::cannot_open;

    const std::int64_t size = file.length();
    if (size < 0) return LoadResult::cannot_open;
    if (size < Md3Header::kSize) return LoadResult::too_short;

    try {
        model.resize(static_cast<std::size_t>(size));  // not zero-filled: the read fills it
    } catch (const std::exception&) {  // bad_alloc or a size beyond the vector's reach
        return LoadResult::no_memory;
    }

    // A short read would leave part of the buffer made up; treat it as a file
    // that could not be read rather than repair and save invented bytes.
    if (!file.read(model.data(), model.size())) {
        model.clear();
        return LoadResult::cannot_open;
    }
    return LoadResult::ok;
}

namespace {

// Follows a chain of symbolic links to the name of the file they lead to, which
// may not exist yet. Gives up after as many hops as a typical system allows.
fs::path link_target(const fs::path& name) {
    fs::path target = name;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(target, ec))) break;
        const fs::path link = fs::read_symlink(target, ec);
        if (ec) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

void discard(PendingOutput& out) {
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    std::error_code ec;
    if (!out.temp.empty()) fs::remove(out.temp, ec);
    out.temp.clear();
}

}  // namespace

PendingOutput::~PendingOutput() { discard(*this); }

bool open_output(const std::string& name, PendingOutput& out) {
    discard(out);
    out.target = link_target(fs::path(name));
    if (out.target.filename().empty()) return false;

    std::random_device entropy;
    std::minstd_rand pick(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A hidden name beside the target: ".skiff.md3.tmp123456".
        std::string name = ".";
        name += out.target.filename().string();
        name += ".tmp";
        name += std::to_string(pick() % 1000000);
        fs::path temp = out.target;
        temp.replace_filename(name);
        // Never take over a file that already exists under that name.
        out.file = create_new(temp);
        if (out.file) {
            out.temp = temp;
            return true;
        }
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(temp, ec))) return false;  // not a name clash
    }
    return false;
}

bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes) {
    const bool written = write_all(out.file, bytes);
    const bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (!written || !closed) {
        discard(out);
        return false;
    }

    std::error_code ec;
    const fs::file_status old = fs::status(out.target, ec);
    if (!ec && fs::exists(old)) {
        fs::permissions(out.temp, old.permissions(), fs::perm_options::replace, ec);
        if (ec) {
            discard(out);
            return false;
        }
    }
    if (!replace_file(out.temp, out.target)) {
        discard(out);
        return false;
    }
    out.temp.clear();  // it is the output now
    return true;
}
