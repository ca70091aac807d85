// Formatting reasons and names.
#include "text.hpp"

#include <cstdarg>
#include <cstdio>

namespace md3 {

std::string printf_text(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string escaped_text(std::string_view bytes, const char* byteEscape) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte > 0x7e) {
            text += printf_text(byteEscape, byte);
        } else {
            text += c;
        }
    }
    return text + "\"";
}

std::string quote_name(std::string_view bytes) { return escaped_text(bytes, "\\x%02x"); }

std::string counted(long long count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace md3
