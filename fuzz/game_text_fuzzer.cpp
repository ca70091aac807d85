// libFuzzer target: the shader-script and skin readers over arbitrary bytes.
#include "fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_game_text_once(data, size);
    return 0;
}
