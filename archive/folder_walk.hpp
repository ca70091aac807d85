// Walking a folder and everything below it, as the model finder and a
// .pk3dir folder both need: every entry once, a link to a folder never
// followed (so that no loop can form), a subfolder that cannot be listed
// reported and passed over. Each system's walk is in folder_walk_posix.cpp
// and folder_walk_windows.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace md3 {

// One entry below the folder walked.
struct WalkEntry {
    std::string name;        // below the folder, with '/' between components
    bool folder = false;     // a folder (a link to a folder is never listed)
    bool exists = true;      // false: a link to nothing
    bool regular = true;     // a regular file, or a link to one
    std::uint64_t size = 0;  // of a regular file, when sizes were asked for
    std::string problem;     // why its size could not be read
};

struct FolderWalk {
    // Called for each entry in the system's order; for a folder, returns
    // whether to walk into it.
    std::function<bool(const WalkEntry&)> visit;
    // Called with a subfolder's name (ending in '/') that could not be listed,
    // or could not be listed to its end, and the system's reason.
    std::function<void(const std::string& name, const std::string& reason)> failed;
    bool sizes = false;  // measure each regular file
};

// Walks below `folder`. False, with `reason`, when `folder` itself cannot be
// listed (or not to its end); what was found before that has been visited.
bool walk_folder(const std::string& folder, const FolderWalk& walk, std::string& reason);

// Why `path` is no folder to walk, in the system's words; empty when it is
// one (a link to a folder is one).
std::string folder_problem(const std::string& path);

}  // namespace md3
