// Text to a stream on POSIX systems: the UTF-8 bytes as they are.
#include <cstdio>

#include "run.hpp"

namespace md3 {

void print_text(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace md3
