// Walking a mod tree for its models.
#include "find_models.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool has_md3_ending(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ending == ".md3";
}

void walk(const fs::path& folder, std::vector<FoundModel>& found) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code kind;
        // A link to a folder is not a folder here: following it could loop.
        if (entry.is_directory(kind) && !entry.is_symlink(kind)) {
            walk(entry.path(), found);
        } else if (has_md3_ending(entry.path().filename().string()) && !entry.is_directory(kind)) {
            found.push_back({entry.path().string(), ""});
        }
    }
    if (ec) found.push_back({folder.string(), ec.message()});
}

}  // namespace

std::vector<FoundModel> find_models(const std::string& name) {
    std::error_code ec;
    if (!fs::is_directory(fs::path(name), ec)) return {{name, ""}};
    std::vector<FoundModel> found;
    walk(fs::path(name), found);
    std::sort(found.begin(), found.end(),
              [](const FoundModel& a, const FoundModel& b) { return a.path < b.path; });
    return found;
}
