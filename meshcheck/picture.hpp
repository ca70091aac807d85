// meshcheck's picture of one model: one frame lit with its stored normals,
// lit with the normals meshmend would write, and coloured by the angle
// between them, with the culling bounds outlined where vertices lie outside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check.hpp"
#include "model_frame.hpp"

namespace md3 {

// Asks model_picture for the first frame a problem is found in, else frame 0.
inline constexpr std::int32_t kFirstFrameWithAProblem = -2;

// The PNG of frame `frame` of `model`, which check_model has just checked
// with `workspace` into `report` (the repaired copy gives the rebuilt
// normals; for a model meshmend refuses they are rebuilt here the same way,
// without its limit on a surface's vertices).
// `name` heads the caption. Empty when the model is invalid or unreadable or
// has no such frame.
std::vector<std::uint8_t> model_picture(const ModelBuffer& model, const CheckWorkspace& workspace,
                                        const ModelReport& report, const std::string& name,
                                        std::int32_t frame);

// A file name for the picture of the model at `path` (and `member`, inside an
// archive), safe on every system and different for every path: its letters,
// digits, '.', '-' and '_', every other byte as '_', shortened to its last
// 80 bytes or fewer at the start of a path component (or of a word, when the
// last component alone is longer), then a hash of the whole path, then ".png".
std::string picture_file_name(const std::string& path, const std::string& member);

// The captions of the picture of frame `frame` (of `frames`) gathered into
// `arrays`: each fits its lines (caption_lines), a list of surfaces cut short
// with "and N more surfaces", the model's name at its front with "...".
PictureCaptions picture_captions(const FrameArrays& arrays, const ModelReport& report,
                                 const std::string& name, std::int32_t frame, std::int32_t frames,
                                 const OutsideCounts& outside);

// Replaces `arrays.rebuiltNormals`, gathered from frame `frame` of `model`,
// with the normals the repair pass would write, whatever the vertex count of
// a surface: the same arithmetic, for a model it refuses.
void rebuild_normals(const std::uint8_t* model, std::int32_t frame, FrameArrays& arrays);

}  // namespace md3
