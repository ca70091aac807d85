// Names between the programs, which carry them as UTF-8, and Windows, which
// keeps them as UTF-16. A Windows name may hold a lone surrogate, which no
// UTF-8 can carry; it is written in UTF-8's three-byte form all the same, so
// that every name survives the trip there and back unchanged.
#pragma once

#include <string>
#include <string_view>

namespace md3 {

std::string utf8_from_utf16(std::u16string_view text);

// Bytes that are no UTF-8 become U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

#ifdef _WIN32
// The system's name for `name`, given in UTF-8: UTF-16, and for a path past
// the old 260-character limit, the absolute form that lifts it.
std::wstring os_name(const std::string& name);
#endif

}  // namespace md3
