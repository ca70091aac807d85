// Names and strings from a model's bytes, quoted for the text, JSON and HTML
// reports whatever bytes they hold.
#include "utf8_text.hpp"

#include "text.hpp"

namespace md3 {

namespace {

// How many bytes the UTF-8 sequence at bytes[i] takes, or 0 when the byte
// there starts no valid one (a stray continuation byte, an overlong form, a
// surrogate, past U+10FFFF, or cut short).
std::size_t utf8_length(std::string_view bytes, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    const unsigned lead = at(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() - i < length || at(1) < low || at(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((at(k) & 0xC0) != 0x80) return 0;
    return length;
}

// Whether the valid UTF-8 sequence of `length` bytes at bytes[i] is a C1
// control, U+0080 to U+009F: as much a terminal command as ESC is.
bool is_c1_control(std::string_view bytes, std::size_t i, std::size_t length) {
    return length == 2 && static_cast<unsigned char>(bytes[i]) == 0xC2 &&
           static_cast<unsigned char>(bytes[i + 1]) <= 0x9F;
}

// `bytes` between double quotes, every valid UTF-8 sequence copied as it
// is; every other byte, each control character and each of `special` is
// written by `escape`, which takes the byte, or for a C1 control its code
// point (0x80 to 0x9F), and whether it is part of valid UTF-8.
template <typename Escape>
std::string quoted_utf8(std::string_view bytes, std::string_view special, Escape escape) {
    std::string text;
    text.reserve(bytes.size() + 2);
    text += '"';
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = utf8_length(bytes, i);
        if (is_c1_control(bytes, i, length)) {
            escape(text, static_cast<unsigned char>(bytes[i + 1]), true);
            i += 2;
        } else if (length == 0 || is_control(byte) ||
                   special.find(bytes[i]) != std::string_view::npos) {
            escape(text, byte, length != 0);
            ++i;
        } else {
            text.append(bytes, i, length);
            i += length;
        }
    }
    text += '"';
    return text;
}

}  // namespace

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7f; }

bool is_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string json_string(std::string_view bytes) {
    return quoted_utf8(bytes, "\"\\", [](std::string& text, unsigned char byte, bool valid) {
        if (!valid) {
            text += "\\ufffd";
        } else if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else {
            text += printf_text("\\u%04x", byte);
        }
    });
}

std::string shown_name(std::string_view bytes) {
    return quoted_utf8(bytes, "\"", [](std::string& text, unsigned char byte, bool valid) {
        if (byte == '"') {
            text += "\\\"";
        } else if (valid && byte >= 0x80) {  // a C1 control: both of its bytes
            text += printf_text("\\xc2\\x%02x", byte);
        } else {
            text += printf_text("\\x%02x", byte);
        }
    });
}

bool shown_plain(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8_length(bytes, i);
        if (length == 0 || is_control(static_cast<unsigned char>(bytes[i])) ||
            is_c1_control(bytes, i, length))
            return false;
        i += length;
    }
    return true;
}

std::string shown_path(std::string_view bytes) {
    return shown_plain(bytes) ? std::string(bytes) : shown_name(bytes);
}

std::string html_text(std::string_view bytes) {
    std::string text;
    for (const char c : shown_path(bytes)) {
        switch (c) {
            case '&': text += "&amp;"; break;
            case '<': text += "&lt;"; break;
            case '>': text += "&gt;"; break;
            case '"': text += "&quot;"; break;
            case '\'': text += "&#39;"; break;
            default: text += c;
        }
    }
    return text;
}

}  // namespace md3
