// Derivation of meshmend's default output name.
#include "output_name.hpp"

namespace md3 {

std::string default_output_name(std::string_view input) {
    std::size_t cut = input.size();
    for (std::size_t i = input.size(); i-- > 0;) {
        const char c = input[i];
        if (c == '/' || c == '\\') break;
        if (c == '.') {
            cut = i + 1;
            break;
        }
    }
    std::string output(input.substr(0, cut));
    output += "md3";
    return output;
}

}  // namespace md3
