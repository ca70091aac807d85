// Which files a picture may replace: only a picture, never a model being
// checked nor a file of any other kind.
#pragma once

#include <string>
#include <vector>

#include "model_io.hpp"

// Why the picture must not be written to `file`, or empty when it may: the
// name is one of `inputs` (the same file, where the system can tell, else
// the same name), or something exists there that is not a PNG file (its
// first eight bytes are not the PNG signature), or is no regular file at all.
// With OutputLinks::replace a link at `file` is replaced as a link and never
// followed, so it is no reason; with OutputLinks::follow the file it leads to
// is the one judged.
std::string picture_refusal(const std::string& file, OutputLinks links,
                            const std::vector<std::string>& inputs);

// Whether `name` ends in ".png", in any case.
bool is_png_name(const std::string& name);
