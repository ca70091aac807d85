// The load and save steps on Windows. Files are named by their wide names and
// moved through the C runtime's descriptors; the save names both files by
// their folder's path, as the system has no calls relative to an open folder.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "model_io_platform.hpp"
#include "wide_names.hpp"

namespace md3 {

namespace {

// The most one read or write call is asked for: the runtime takes an
// unsigned int count and refuses more than INT_MAX.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Splits `name` after its last separator into the folder part (which keeps
// the separator: "models/", "C:\\", "C:", or empty for a bare name) and the
// last component.
std::pair<std::string, std::string> split_name(const std::string& name) {
    std::size_t cut = name.find_last_of("/\\");
    if (cut == std::string::npos && name.size() >= 2 && name[1] == ':') cut = 1;  // "C:ship.md3"
    if (cut == std::string::npos) return {std::string(), name};
    return {name.substr(0, cut + 1), name.substr(cut + 1)};
}

std::int64_t failed(InputFile& file, int error) {
    file.error = error;
    return -1;
}

}  // namespace

InputFile open_input(const std::string& path) {
    InputFile file;
    const std::wstring name = os_name(path);
    // A directory may open for reading and report an absurd size.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        file.error = EISDIR;
        return file;
    }
    const errno_t error = _wsopen_s(&file.fd, name.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, 0);
    if (error != 0) {
        file.fd = -1;
        file.error = error;
        return file;
    }
    // A pipe, a console or a device is no model file, and reading one may
    // never end.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(file.fd))) != FILE_TYPE_DISK) {
        close_input(file);
        file.error = kNotRegularFile;
    }
    return file;
}

std::int64_t input_length(InputFile& file) {
    // long is 32 bits there: the 64-bit seek, and no other.
    const std::int64_t size = _lseeki64(file.fd, 0, SEEK_END);
    if (size < 0) return failed(file, errno);
    if (_lseeki64(file.fd, 0, SEEK_SET) != 0) return failed(file, errno);
    return size;
}

bool read_input(InputFile& file, std::span<std::uint8_t> into) {
    for (std::size_t done = 0; done < into.size();) {
        const auto count = static_cast<unsigned>(std::min(into.size() - done, kMaxTransfer));
        const int got = _read(file.fd, into.data() + done, count);
        if (got <= 0) {
            file.error = got < 0 ? errno : EIO;  // EIO: the file ended early
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void close_input(InputFile& file) {
    if (file.fd >= 0) _close(file.fd);
    file.fd = -1;
}

// Symbolic links are left to the system there: the output name is replaced
// as it is.
bool find_target(const std::string& name, OutputState& out) {
    auto [folder, leaf] = split_name(name);
    out.folder.path = std::move(folder);
    out.target = std::move(leaf);
    return true;
}

bool name_temporary(OutputState& out, const std::string& leaf) {
    const std::wstring name = os_name(out.folder.path + leaf);
    TemporaryName& temporary = out.temporary;
    constexpr std::size_t kRoom = sizeof temporary.path / sizeof temporary.path[0];
    if (name.size() >= kRoom) return false;
    std::copy(name.begin(), name.end(), temporary.path);
    temporary.path[name.size()] = L'\0';
    return true;
}

int create_new(const OutputState& out) {
    // The C runtime MinGW links against knows no "x" mode, and a descriptor
    // is all the later steps need.
    int fd = -1;
    const errno_t error =
        _wsopen_s(&fd, out.temporary.path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE);
    if (error == 0) return fd;
    errno = error;
    return -1;
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const auto count = static_cast<unsigned>(std::min(bytes.size() - done, kMaxTransfer));
        const int put = _write(fd, bytes.data() + done, count);
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Read-only is the only permission there, and a read-only file cannot be
// replaced at all, so there is nothing to carry over.
bool keep_permissions(const OutputState&) { return true; }

bool flush_to_disk(int fd) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != 0;
}

bool close_file(int fd) { return _close(fd) == 0; }

bool replace_target(const OutputState& out) {
    // A plain rename there refuses to replace an existing file.
    return MoveFileExW(out.temporary.path, os_name(out.folder.path + out.target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The rename above is written through to the disk before it returns.
bool flush_folder(const OutputState&) { return true; }

void close_folder(OutputState& out) { out.folder.path.clear(); }

void remove_temporary_now(const TemporaryName& name) noexcept {
    if (name.path[0] != L'\0') DeleteFileW(name.path);
}

}  // namespace md3
