// The engine's name rules.
#include "engine_names.hpp"

namespace md3 {

std::string ascii_lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

bool ends_with_nocase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    const std::string_view tail = text.substr(text.size() - ending.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (ascii_lower(tail[i]) != ending[i]) return false;
    return true;
}

std::string engine_name(std::string_view stored) {
    std::string name(stored);
    for (char& c : name) {
        c = ascii_lower(c);
        if (c == '\\' || c == ':') c = '/';
    }
    return name;
}

bool engine_refuses_name(std::string_view name) {
    return name.find("..") != std::string_view::npos || name.find("::") != std::string_view::npos;
}

}  // namespace md3
