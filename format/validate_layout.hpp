// Layout checks that run once, before any record is touched, so that the code
// that patches records afterwards never reads or writes outside the buffer.
#pragma once

#include <cstdint>
#include <span>

// True when `count` records of `size` bytes starting at `start` lie inside
// [lo, hi). An empty array is accepted wherever it points: nothing is read there.
// All arithmetic is 64-bit and cannot overflow for 32-bit counts and offsets.
bool region_inside(std::int64_t start, std::int64_t count, std::int64_t size, std::int64_t lo,
                   std::int64_t hi);

// True when the header's frame array lies inside the first `limit` bytes, or
// when there are no frames. Expects at least a whole header in the buffer.
bool frames_inside(const std::uint8_t* header, std::int64_t limit);

// True when the model (already known to be at least one header long, with the
// right ident and version) is safe to repair in place: the header's ofsEnd lies
// within the file, every frame, surface, shader, triangle and vertex record
// lies inside the first ofsEnd bytes and each surface's records inside its own
// block, no count is negative, no surface has more frames than the model, every
// triangle index names a vertex of its surface, no region the repair writes
// overlaps a region that steers it, and the frames overlap no vertex array.
bool validate_layout(std::span<const std::uint8_t> model);
