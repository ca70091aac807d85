// libFuzzer target: meshmend's checks and repair pass over arbitrary bytes.
#include "fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_meshmend_once(data, size);
    return 0;
}
