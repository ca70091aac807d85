// How the engine compares and refuses file names: ASCII letters in either
// case alike, '\' and ':' as '/', and no path with ".." or "::".
#pragma once

#include <string>
#include <string_view>

namespace md3 {

// `c` lowercased if it is an ASCII capital; every other byte as it is.
constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with its ASCII capitals lowercased.
std::string ascii_lowered(std::string_view text);

// Whether `text` ends in `ending` (lowercase) in any case of ASCII letters.
bool ends_with_nocase(std::string_view text, std::string_view ending);

// A member name as the engine compares it: ASCII letters lowercased, '\' and
// ':' as '/'.
std::string engine_name(std::string_view stored);

// Whether the engine refuses to open a path: one that contains ".." or "::".
bool engine_refuses_name(std::string_view name);

}  // namespace md3
