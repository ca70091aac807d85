// libFuzzer target: the archive reader's look at arbitrary bytes.
#include "fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_archive_once(data, size);
    return 0;
}
