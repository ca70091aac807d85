// Which files meshcheck looks at for each name on its command line.
#pragma once

#include <string>
#include <vector>

// One file to check, or one that cannot be: a folder that could not be read,
// or a pipe or device in a folder (with the reason).
struct FoundModel {
    std::string path;
    std::string error;  // set when a folder on the way could not be listed
};

// A name that is a folder (or a link to one) stands for every file below it
// whose name ends in ".md3" in any case, in byte order of their paths;
// symbolic links to folders inside it are not followed, so no loop can form.
// Any other name stands for itself, whatever it is called. Below a folder,
// an entry that is neither a regular file nor a link to one is listed with
// an error instead of being read.
std::vector<FoundModel> find_models(const std::string& name);
