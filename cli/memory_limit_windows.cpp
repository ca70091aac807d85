// Windows sets no limit of this kind on a process by default.
#include "memory_limit.hpp"

namespace md3 {

std::uint64_t address_space_limit() { return 0; }

}  // namespace md3
