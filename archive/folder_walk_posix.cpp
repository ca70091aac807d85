// Walking a folder on POSIX systems, through the C++ library's listing.
#include <filesystem>
#include <system_error>

#include "folder_walk.hpp"

namespace md3 {

namespace fs = std::filesystem;

namespace {

// Returns false, with `error` set, when `folder` itself cannot be listed.
bool walk_below(const fs::path& folder, const std::string& relative, const FolderWalk& walk,
                std::error_code& error) {
    fs::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::directory_entry& item = *it;
        WalkEntry entry;
        entry.name = relative + item.path().filename().string();
        std::error_code kind;
        // A link to a folder is not followed: it could loop.
        if (item.is_directory(kind) && !item.is_symlink(kind)) {
            entry.folder = true;
            if (!walk.visit(entry)) continue;
            std::error_code inner;
            if (!walk_below(item.path(), entry.name + "/", walk, inner))
                walk.failed(entry.name + "/", inner.message());
            continue;
        }
        if (item.is_directory(kind)) continue;
        entry.exists = item.exists(kind);
        entry.regular = entry.exists && item.is_regular_file(kind);
        if (entry.regular && walk.sizes) {
            entry.size = item.file_size(kind);
            if (kind) entry.problem = kind.message();
        }
        walk.visit(entry);
    }
    return !error;
}

}  // namespace

bool walk_folder(const std::string& folder, const FolderWalk& walk, std::string& reason) {
    std::error_code error;
    if (walk_below(fs::path(folder), "", walk, error)) return true;
    reason = error.message();
    return false;
}

// "No such file or directory", "Permission denied" on the way to it.
std::string folder_problem(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(path), ec);
    if (ec) return ec.message();
    if (!fs::is_directory(status))
        return std::make_error_code(std::errc::not_a_directory).message();
    return {};
}

}  // namespace md3
