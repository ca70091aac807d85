// A .pk3dir folder listed as an archive: every regular file below it, named
// relative to it with '/' between components, so that a caller reads its
// members exactly as it reads those of a .pk3.
#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "wide_names.hpp"
#else
#include <filesystem>
#endif

#include "archive_source.hpp"
#include "text.hpp"
#include "zip_reader.hpp"

namespace {

// A file listed with its size: refused up front when it is too large to read.
ZipEntry file_entry(std::string name, std::uint64_t size) {
    ZipEntry entry;
    entry.name = std::move(name);
    entry.size = entry.compressedSize = size;
    entry.unsafeName = engine_refuses_name(entry.name);
    if (size > kMaxMemberSize)
        entry.problem = printf_text("%llu bytes, more than the %llu a member may have",
                                    static_cast<unsigned long long>(size),
                                    static_cast<unsigned long long>(kMaxMemberSize));
    return entry;
}

// A file or subfolder that cannot be read, listed with the reason.
ZipEntry problem_entry(std::string name, bool isFolder, std::string problem) {
    ZipEntry entry;
    entry.name = std::move(name);
    entry.isFolder = isFolder;
    entry.unsafeName = engine_refuses_name(entry.name);
    entry.problem = std::move(problem);
    return entry;
}

#ifdef _WIN32

// The system's own listing, which takes the long form of a path. A link to a
// folder (a reparse point) is not followed, so no loop can form. Returns
// false, with `error` set, when `folder` itself cannot be listed.
bool walk(const std::string& folder, const std::string& relative, std::vector<ZipEntry>& found,
          DWORD& error) {
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW(os_name(folder + "*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    do {
        const std::wstring_view leaf(entry.cFileName);
        if (leaf == L"." || leaf == L"..") continue;
        const std::string name = utf8_from_utf16(std::u16string(leaf.begin(), leaf.end()));
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            DWORD inner = 0;
            if (!walk(folder + name + "/", relative + name + "/", found, inner))
                found.push_back(
                    problem_entry(relative + name + "/", true,
                                  std::system_category().message(static_cast<int>(inner))));
        } else {
            const std::uint64_t size =
                (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            found.push_back(file_entry(relative + name, size));
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return true;
}

// Why `path` is no folder to list, in the system's words; empty when it is one.
std::string folder_problem(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(os_name(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::system_category().message(static_cast<int>(GetLastError()));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return std::make_error_code(std::errc::not_a_directory).message();
    return {};
}

ZipResult list_folder(const std::string& prefix, std::vector<ZipEntry>& found) {
    DWORD error = 0;
    if (!walk(prefix, "", found, error))
        return {ZipStatus::cannot_open, std::system_category().message(static_cast<int>(error))};
    return {};
}

#else

namespace fs = std::filesystem;

// Returns false, with `error` set, when `folder` itself cannot be listed.
bool walk(const fs::path& folder, const std::string& relative, std::vector<ZipEntry>& found,
          std::error_code& error) {
    fs::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = relative + entry.path().filename().string();
        std::error_code kind;
        // A link to a folder is not followed: it could loop.
        if (entry.is_directory(kind) && !entry.is_symlink(kind)) {
            std::error_code inner;
            if (!walk(entry.path(), name + "/", found, inner))
                found.push_back(problem_entry(name + "/", true, inner.message()));
        } else if (entry.is_directory(kind)) {
            continue;
        } else if (!entry.exists(kind)) {
            found.push_back(problem_entry(name, false, "a link to nothing"));
        } else if (!entry.is_regular_file(kind)) {
            // A pipe or a device would block the read or never end.
            found.push_back(problem_entry(name, false, "not a regular file"));
        } else {
            const std::uintmax_t size = entry.file_size(kind);
            if (kind)
                found.push_back(problem_entry(name, false, kind.message()));
            else
                found.push_back(file_entry(name, size));
        }
    }
    return !error;
}

// Why `path` is no folder to list, in the system's words ("No such file or
// directory", "Permission denied" on the way to it); empty when it is one.
std::string folder_problem(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(path), ec);
    if (ec) return ec.message();
    if (!fs::is_directory(status))
        return std::make_error_code(std::errc::not_a_directory).message();
    return {};
}

ZipResult list_folder(const std::string& prefix, std::vector<ZipEntry>& found) {
    std::error_code error;
    if (!walk(fs::path(prefix), "", found, error)) return {ZipStatus::cannot_open, error.message()};
    return {};
}

#endif

}  // namespace

ZipResult open_archive_folder(const std::string& path, ZipArchive& archive) {
    archive = ZipArchive();
    if (const std::string problem = folder_problem(path); !problem.empty())
        return {ZipStatus::cannot_open, problem};
    std::vector<ZipEntry> found;
    ZipResult result = list_folder(member_path(path, ""), found);
    if (!result.ok()) return result;
    std::sort(found.begin(), found.end(),
              [](const ZipEntry& a, const ZipEntry& b) { return a.name < b.name; });
    archive.entries = std::move(found);
    archive.folder = path;
    archive.isFolder = true;
    return {};
}
