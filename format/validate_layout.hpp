// Layout checks that run once, before any record is touched, so that the code
// that patches records afterwards never reads or writes outside the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace md3 {

// True when `count` records of `size` bytes starting at `start` lie inside
// [lo, hi). An empty array is accepted wherever it points: nothing is read there.
// All arithmetic is 64-bit and cannot overflow for 32-bit counts and offsets.
bool region_inside(std::int64_t start, std::int64_t count, std::int64_t size, std::int64_t lo,
                   std::int64_t hi);

// True when the header's frame array lies inside the first `limit` bytes, or
// when there are no frames. Expects at least a whole header in the buffer.
bool frames_inside(const std::uint8_t* header, std::int64_t limit);

// The families of rules a model can break, in the order they are checked.
enum class LayoutRule {
    none,             // the model is sound
    too_short,        // shorter than a model header
    magic,            // not "IDP3"
    version,          // not version 15
    model_end,        // the header's ofsEnd is outside the file
    negative_count,   // a count below zero
    frames_outside,   // the frame array does not fit in the model
    surface_outside,  // a surface header does not fit in the model
    surface_end,      // a surface's block is shorter than its header or runs past the model
    surface_frames,   // a surface has more frames than the model
    record_outside,   // a shader, triangle or vertex array leaves its surface's block
    overlap,          // something the repair writes shares bytes with what steers it, or
                      // the frames share bytes with a vertex array
    shader_overlap,   // a surface's first shader record shares bytes with the frames or
                      // its vertex array
    triangle_index,   // a triangle names a vertex its surface does not have
};

// The rule's stable name, as above ("triangle_index"); "none" for none.
const char* layout_rule_name(LayoutRule rule);

// What the layout check found. `reason` says, for a broken model, where and
// how: the record (header, frame array, surface n and its name, triangle t,
// corner c) and the byte offsets and values involved, for example
// `surface 2 "hull": triangle 17 uses vertex 1030 of 1024 (corner 1, at 3112)`.
struct LayoutVerdict {
    LayoutRule rule = LayoutRule::none;
    std::string reason;
    explicit operator bool() const { return rule == LayoutRule::none; }
};

// Checks that the model is an MD3 model that is safe to repair in place: at
// least a header long, ident "IDP3" and version 15, the header's ofsEnd within
// the file, every frame, surface, shader, triangle and vertex record inside
// the first ofsEnd bytes and each surface's records inside its own block, no
// count negative, no surface with more frames than the model, every triangle
// index naming a vertex of its surface, no region the repair writes
// overlapping a region that steers it, and the frames and each first shader
// record overlapping no other region it writes. Reports the first rule
// broken, in the order of LayoutRule.
// With a `fileSize`, `model` holds only the file's first bytes: all of them
// up to an ofsEnd that lies within the file, or at least the header when it
// does not. The ofsEnd is checked against the file's length.
LayoutVerdict validate_layout(std::span<const std::uint8_t> model, std::int64_t fileSize = -1);

}  // namespace md3
