// libFuzzer target: sphereset's checks and frame loop over arbitrary bytes.
#include "fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_sphereset_once(data, size);
    return 0;
}
