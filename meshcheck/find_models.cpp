// Walking a mod tree for its models.
#include "find_models.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "wide_names.hpp"

namespace fs = std::filesystem;

namespace {

// Names are UTF-8 inside the program; Windows keeps them as UTF-16.
fs::path path_of(const std::string& name) {
#ifdef _WIN32
    return fs::path(utf16_from_utf8(name));
#else
    return fs::path(name);
#endif
}

std::string name_of(const fs::path& path) {
#ifdef _WIN32
    return utf8_from_utf16(path.u16string());
#else
    return path.string();
#endif
}

bool has_md3_ending(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ending == ".md3";
}

// Children are named folder + '/' + name, the separator every system takes,
// so that a tree is reported alike everywhere.
void walk(const std::string& folder, std::vector<FoundModel>& found) {
    std::error_code ec;
    fs::directory_iterator it(path_of(folder), ec), end;
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = prefix + name_of(entry.path().filename());
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

}  // namespace

std::vector<FoundModel> find_models(const std::string& name) {
    std::error_code ec;
    if (!fs::is_directory(path_of(name), ec)) return {{name, ""}};
    std::vector<FoundModel> found;
    walk(name, found);
    std::sort(found.begin(), found.end(),
              [](const FoundModel& a, const FoundModel& b) { return a.path < b.path; });
    return found;
}
