// Walking a folder on Windows, through the system's own listing, which takes
// the long form of a path that the C++ library's does not. A link to a folder
// (a reparse point) is not followed.
#include <windows.h>

#include <system_error>

#include "folder_walk.hpp"
#include "wide_names.hpp"

namespace md3 {

namespace {

std::string system_message(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

// Returns false, with `error` set, when `folder` (ending in a separator)
// itself cannot be listed. An empty listing is no failure.
bool walk_below(const std::string& folder, const std::string& relative, const FolderWalk& walk,
                DWORD& error) {
    WIN32_FIND_DATAW found;
    const HANDLE listing = FindFirstFileW(os_name(folder + "*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    do {
        const std::wstring_view leaf(found.cFileName);
        if (leaf == L"." || leaf == L"..") continue;
        WalkEntry entry;
        const std::string name = utf8_from_utf16(std::u16string(leaf.begin(), leaf.end()));
        entry.name = relative + name;
        const DWORD attributes = found.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            entry.folder = true;
            if (!walk.visit(entry)) continue;
            DWORD inner = 0;
            if (!walk_below(folder + name + "/", entry.name + "/", walk, inner))
                walk.failed(entry.name + "/", system_message(inner));
            continue;
        }
        entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        walk.visit(entry);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
    return true;
}

}  // namespace

bool walk_folder(const std::string& folder, const FolderWalk& walk, std::string& reason) {
    const std::string prefix =
        folder.ends_with('/') || folder.ends_with('\\') ? folder : folder + "/";
    DWORD error = 0;
    if (walk_below(prefix, "", walk, error)) return true;
    reason = system_message(error);
    return false;
}

std::string folder_problem(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(os_name(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return system_message(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return std::make_error_code(std::errc::not_a_directory).message();
    return {};
}

}  // namespace md3
