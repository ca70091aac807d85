// Positioned reads from a file on Windows: the file opened by its wide name,
// read through OVERLAPPED offsets so that no file position is shared.
#include <windows.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "archive_source.hpp"
#include "wide_names.hpp"

namespace md3 {

namespace {

// The most one read call is asked for: every system moves this much at once,
// and some refuse a count past 2 GiB.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

ZipResult failure(ZipStatus status, std::string reason) { return {status, std::move(reason)}; }

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

}  // namespace

ZipResult open_source_file(const std::string& path, ArchiveSource& source) {
    const HANDLE handle = open_for_reading(path);
    if (handle == INVALID_HANDLE_VALUE)
        return failure(ZipStatus::cannot_open, system_message(GetLastError()));
    source.file = handle;
    std::string reason;
    if (!measure(handle, source.size, reason)) {
        close_source_file(source);
        return failure(ZipStatus::cannot_open, reason);
    }
    return {};
}

void close_source_file(ArchiveSource& source) {
    if (source.file) CloseHandle(source.file);
    source.file = nullptr;
}

bool read_file_at(ArchiveSource::Handle file, std::uint64_t offset, std::uint8_t* out,
                  std::uint64_t count, std::string& reason) {
    return read_handle(file, offset, out, count, reason);
}

std::string member_path(const std::string& folder, const std::string& name) {
    if (folder.ends_with('\\')) return folder + name;
    return folder.ends_with('/') || folder.empty() ? folder + name : folder + "/" + name;
}

}  // namespace md3
