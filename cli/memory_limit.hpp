// The limit the system sets on the process's memory, where it sets one.
#pragma once

#include <cstdint>

namespace md3 {

// The bytes of address space the process may map, or 0 when no limit is set
// (or the system has none to tell).
std::uint64_t address_space_limit();

}  // namespace md3
