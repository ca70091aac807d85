// Bytes from a model or an archive shown as text: checked as UTF-8, as a
// JSON string, and as a name in the text report, any byte they hold shown
// so that it can be read back.
#pragma once

#include <string>
#include <string_view>

namespace md3 {

// Whether `byte` is a control byte: below 0x20, or DEL.
bool is_control(unsigned char byte);

// Whether `bytes` are valid UTF-8 throughout.
bool is_utf8(std::string_view bytes);

// `bytes` as a JSON string that decodes to the same characters: valid UTF-8
// as it is, '"' and '\' escaped, control characters as \u00XX, and each byte
// that is not part of valid UTF-8 as U+FFFD (the report then carries the
// exact bytes beside it, in hex).
std::string json_string(std::string_view bytes);

// A name as it is in the file, between double quotes, for the text report:
// only what would break the line or misread it is escaped, a control byte or
// a byte that is not part of valid UTF-8 as \xNN and '"' as \". A
// backslash stays one backslash.
std::string shown_name(std::string_view bytes);

// Whether `bytes` can be shown as they are: valid UTF-8 without a control
// character (C0, DEL or C1) that could break a line or command a terminal.
bool shown_plain(std::string_view bytes);

// A path or message as it is when shown_plain, else as shown_name quotes it.
std::string shown_path(std::string_view bytes);

// `bytes` as HTML text, fit for an element or a quoted attribute value alike:
// as shown_path shows them (so every byte can be read back and none can end
// the page's UTF-8), with '&', '<', '>', '"' and '\'' as character references,
// so that no name, however made, is taken for markup.
std::string html_text(std::string_view bytes);

}  // namespace md3
