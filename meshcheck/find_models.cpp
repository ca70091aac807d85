// Walking a mod tree for its models.
#include "find_models.hpp"

#include <algorithm>
#include <system_error>

#include "engine_names.hpp"

#ifdef _WIN32
#include <windows.h>

#include "wide_names.hpp"
#else
#include <filesystem>
#endif

namespace {

// What a file below a folder is taken for, by its name; false when it is
// neither a model nor an archive.
bool kind_of_file(const std::string& name, FoundKind& kind) {
    if (has_ending(name, ".md3")) {
        kind = FoundKind::model;
        return true;
    }
    if (has_ending(name, ".pk3")) {
        kind = FoundKind::archive;
        return true;
    }
    return false;
}

bool is_archive_folder(const std::string& name) { return has_ending(name, ".pk3dir"); }

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
        FoundKind kind;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
            if (is_archive_folder(name))
                found.push_back({name, "", FoundKind::archive_folder});
            else
                walk(name, found);
        } else if (kind_of_file(name, kind)) {
            found.push_back({name, "", kind});
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
        std::error_code ignored;
        FoundKind kind;
        // A link to a folder is not a folder here: following it could loop.
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            if (is_archive_folder(name))
                found.push_back({name, "", FoundKind::archive_folder});
            else
                walk(name, found);
        } else if (kind_of_file(name, kind) && !entry.is_directory(ignored)) {
            // A pipe or a device would block the read or never end: only a
            // regular file (or a link to one) is opened. A dangling link is,
            // to be reported with the system's reason.
            const bool special = entry.exists(ignored) && !entry.is_regular_file(ignored);
            found.push_back({name, special ? "not a regular file" : "", kind});
        }
    }
    if (ec) found.push_back({folder, ec.message()});
}

#endif

}  // namespace

bool has_ending(std::string_view name, std::string_view ending) {
    return ends_with_nocase(name, ending);
}

std::vector<FoundModel> find_models(const std::string& name) {
    if (!is_folder(name))
        return {{name, "", has_ending(name, ".pk3") ? FoundKind::archive : FoundKind::model}};
    // "mod.pk3dir/", as a shell completes it, is the folder all the same.
    std::string_view bare = name;
    while (bare.size() > 1 && (bare.ends_with('/') || bare.ends_with('\\'))) bare.remove_suffix(1);
    if (is_archive_folder(std::string(bare))) return {{name, "", FoundKind::archive_folder}};
    std::vector<FoundModel> found;
    walk(name, found);
    std::sort(found.begin(), found.end(),
              [](const FoundModel& a, const FoundModel& b) { return a.path < b.path; });
    return found;
}
