// Whole-file load and replace-on-save, with the standard library. Windows
// gets its own calls in three places where the C library there falls short:
// sizes past 2 GiB, exclusive creation and replacing an existing file.
#include "model_io.hpp"

#include <cerrno>
#include <exception>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// Length of an open file, or -1 when it cannot be measured. Leaves the file
// positioned at its start.
std::int64_t file_length(std::FILE* file) {
#ifdef _WIN32
    // long is 32 bits there.
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = _ftelli64(file);
    return _fseeki64(file, 0, SEEK_SET) == 0 ? size : -1;
#else
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = std::ftell(file);
    return std::fseek(file, 0, SEEK_SET) == 0 ? size : -1;
#endif
}

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

}  // namespace

LoadResult load_model(const std::string& path, ModelBuffer& model, LoadFailure* failure) {
    LoadFailure ignored;
    LoadFailure& why = failure ? *failure : ignored;
    why = LoadFailure{};
    const auto system_error = [&why](int code) {
        why.error = std::error_code(code, std::generic_category());
        return LoadResult::cannot_open;
    };
    model.clear();
    // Some systems open a directory for reading and report an absurd size.
    std::error_code ec;
    if (fs::is_directory(path, ec)) return system_error(EISDIR);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return system_error(errno);

    const std::int64_t size = file_length(file);
    const int lengthError = errno;
    if (size < 0) {
        std::fclose(file);
        return system_error(lengthError);
    }
    why.size = size;
    if (size < Md3Header::kSize) {
        std::fclose(file);
        return LoadResult::too_short;
    }

    try {
        model.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {  // bad_alloc or a size beyond the vector's reach
        std::fclose(file);
        why.error = std::make_error_code(std::errc::not_enough_memory);
        return LoadResult::no_memory;
    }

    // A short read would leave part of the buffer made up; treat it as a file
    // that could not be read rather than repair and save invented bytes.
    errno = 0;
    const std::size_t got = std::fread(model.data(), 1, model.size(), file);
    const int readError = std::ferror(file) && errno != 0 ? errno : EIO;
    std::fclose(file);
    if (got != model.size()) {
        model.clear();
        return system_error(readError);
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
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.file) == bytes.size() &&
                         std::fflush(out.file) == 0 && !std::ferror(out.file);
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
