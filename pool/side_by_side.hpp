// Two pieces of work done at once where the C++ library has threads: one on
// the caller's thread, the other on a thread of its own. The threaded version
// is side_by_side_threads.cpp; side_by_side_single.cpp does both on the
// caller's thread, one after the other.
#pragma once

#include <functional>

namespace md3 {

// Does `here` and `there` and returns once both are done: `there` on a
// thread of its own when `apart`, so that the two overlap. When the system
// cannot start a thread (no memory for its stack, a limit on threads), both
// are done here, one after the other: slower, never lost. What either throws
// (say, std::bad_alloc) reaches the caller once both have stopped.
void side_by_side(bool apart, const std::function<void()>& here,
                  const std::function<void()>& there);

}  // namespace md3
