// Walking a mod tree for its models.
#include "find_models.hpp"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "wide_names.hpp"
#else
#include <filesystem>
#endif

namespace {

bool has_md3_ending(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ending == ".md3";
}

// Children are named folder + '/' + name, the separator every system takes,
// so that a tree is reported alike everywhere.
std::string child_prefix(const std::string& folder) {
    return folder.ends_with('/') ? folder : folder + "/";
}

#ifdef _WIN32

// The system's own listing, which takes the long form of a path that the C++
// library's does not. A link to a folder (a reparse point) is not followed.
bool is_folder(const std::string& name) {
    const DWORD attributes = GetFileAttributesW(os_name(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void walk(const std::string& folder, std::vector<FoundModel>& found) {
    const std::string prefix = child_prefix(folder);
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW(os_name(prefix + "*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            found.push_back({folder, std::system_category().message(static_cast<int>(error))});
        return;
    }
    do {
        const std::wstring_view leaf(entry.cFileName);
        if (leaf == L"." || leaf == L"..") continue;
        const std::string name = prefix + utf8_from_utf16(std::u16string(leaf.begin(), leaf.end()));
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) walk(name, found);
        } else if (has_md3_ending(name)) {
            found.push_back({name, ""});
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
}

#else

namespace fs = std::filesystem;

bool is_folder(const std::string& name) {
    std::error_code ec;
    return fs::is_directory(fs::path(name), ec);
}

void walk(const std::string& folder, std::vector<FoundModel>& found) {
    const std::string prefix = child_prefix(folder);
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = prefix + entry.path().filename().string();
        std::error_code kind;
        // A link to a folder is not a folder here: following it could loop.
        if (entry.is_directory(kind) && !entry.is_symlink(kind)) {
            walk(name, found);
        } else if (has_md3_ending(name) && !entry.is_directory(kind)) {
            // A pipe or a device would block the read or never end: only a
            // regular file (or a link to one) is opened. A dangling link is,
            // to be reported with the system's reason.
            const bool special = entry.exists(kind) && !entry.is_regular_file(kind);
            found.push_back({name, special ? "not a regular file" : ""});
        }
    }
    if (ec) found.push_back({folder, ec.message()});
}

#endif

}  // namespace

std::vector<FoundModel> find_models(const std::string& name) {
    if (!is_folder(name)) return {{name, ""}};
    std::vector<FoundModel> found;
    walk(name, found);
    std::sort(found.begin(), found.end(),
              [](const FoundModel& a, const FoundModel& b) { return a.path < b.path; });
    return found;
}
