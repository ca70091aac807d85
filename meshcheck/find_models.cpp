// Walking a mod tree for its models.
#include "find_models.hpp"

#include <algorithm>

#include "engine_names.hpp"
#include "folder_walk.hpp"

namespace md3 {

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

bool is_folder(const std::string& name) { return folder_problem(name).empty(); }

void walk(const std::string& folder, std::vector<FoundModel>& found) {
    const std::string prefix = child_prefix(folder);
    FolderWalk walk;
    walk.visit = [&](const WalkEntry& entry) {
        const std::string name = prefix + entry.name;
        if (entry.folder) {
            if (!is_archive_folder(name)) return true;
            found.push_back({name, "", FoundKind::archive_folder});
            return false;
        }
        FoundKind kind;
        // A pipe or a device would block the read or never end: only a
        // regular file (or a link to one) is opened. A dangling link is,
        // to be reported with the system's reason.
        if (kind_of_file(name, kind))
            found.push_back(
                {name, entry.exists && !entry.regular ? "not a regular file" : "", kind});
        return false;
    };
    walk.failed = [&](const std::string& name, const std::string& reason) {
        found.push_back({prefix + name.substr(0, name.size() - 1), reason});
    };
    std::string reason;
    if (!walk_folder(folder, walk, reason)) found.push_back({folder, reason});
}

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

}  // namespace md3
