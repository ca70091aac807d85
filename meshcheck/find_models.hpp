// Which files meshcheck looks at for each name on its command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace md3 {

enum class FoundKind {
    model,           // a model file
    archive,         // a .pk3 file: every .md3 member in it
    archive_folder,  // a .pk3dir folder, read as an archive of the files below it
};

// One file to check, or one that cannot be: a folder that could not be read,
// or a pipe or device in a folder (with the reason).
struct FoundModel {
    std::string path;
    std::string error;  // set when a folder on the way could not be listed
    FoundKind kind = FoundKind::model;
};

// A name that is a folder (or a link to one) stands for every file below it
// whose name ends in ".md3" or ".pk3" in any case, and every folder below it
// whose name ends in ".pk3dir" (not walked into: it is read as an archive),
// in byte order of their paths; symbolic links to folders inside it are not
// followed, so no loop can form. A folder named ".pk3dir" stands for itself
// as an archive, a file named ".pk3" as an archive, any other name for itself
// as a model, whatever it is called. Below a folder, an entry that is neither
// a regular file nor a link to one is listed with an error instead of being
// read.
std::vector<FoundModel> find_models(const std::string& name);

// Whether `name` ends in `ending` (lowercase) in any case of ASCII letters.
bool has_ending(std::string_view name, std::string_view ending);

}  // namespace md3
