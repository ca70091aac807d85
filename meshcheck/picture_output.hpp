// Which files a picture may replace: only a picture, never a model being
// checked nor a file of any other kind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "model_io.hpp"

namespace md3 {

// The models and folders named on the command line, each with its size,
// measured once, so that a picture's file is compared with the inputs of
// its size only; and the --game folders, whose every file is an input too.
struct PictureInputs {
    std::vector<std::string> names;
    std::vector<std::uintmax_t> sizes;         // of regular files; -1 for anything else
    std::vector<std::filesystem::path> games;  // as the system names them, links resolved
};
PictureInputs picture_inputs(const std::vector<std::string>& names,
                             const std::vector<std::string>& games);

// Why the picture must not be written to `file`, or empty when it may: the
// name is one of the inputs or `model` (the same file, where the system can
// tell, else the same name), or lies inside a --game folder (a game's
// archive, script or texture), or something exists there that is not a PNG
// file (its first eight bytes are not the PNG signature), or is no regular
// file at all. With OutputLinks::replace a link at `file` is replaced as a
// link and never followed, so it is no reason; with OutputLinks::follow the
// file it leads to is the one judged.
std::string picture_refusal(const std::string& file, OutputLinks links, const PictureInputs& inputs,
                            const std::string& model);

// Whether `name` ends in ".png", in any case.
bool is_png_name(const std::string& name);

}  // namespace md3
