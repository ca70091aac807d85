// The address-space limit of setrlimit (ulimit -v).
#include <sys/resource.h>

#include "memory_limit.hpp"

namespace md3 {

std::uint64_t address_space_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

}  // namespace md3
