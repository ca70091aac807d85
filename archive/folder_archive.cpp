// A .pk3dir folder listed as an archive: every regular file below it, named
// relative to it with '/' between components, so that a caller reads its
// members exactly as it reads those of a .pk3.
#include <algorithm>

#include "archive_source.hpp"
#include "folder_walk.hpp"
#include "text.hpp"
#include "zip_reader.hpp"

namespace md3 {

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

ZipResult list_folder(const std::string& prefix, std::vector<ZipEntry>& found) {
    FolderWalk walk;
    walk.sizes = true;
    walk.visit = [&](const WalkEntry& entry) {
        if (entry.folder) return true;
        if (!entry.exists)
            found.push_back(problem_entry(entry.name, false, "a link to nothing"));
        else if (!entry.regular)
            // A pipe or a device would block the read or never end.
            found.push_back(problem_entry(entry.name, false, "not a regular file"));
        else if (!entry.problem.empty())
            found.push_back(problem_entry(entry.name, false, entry.problem));
        else
            found.push_back(file_entry(entry.name, entry.size));
        return false;
    };
    walk.failed = [&](const std::string& name, const std::string& reason) {
        found.push_back(problem_entry(name, true, reason));
    };
    std::string reason;
    if (!walk_folder(prefix, walk, reason)) return {ZipStatus::cannot_open, reason};
    return {};
}

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

}  // namespace md3
