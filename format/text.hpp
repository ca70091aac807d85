// Text made from a model's bytes and numbers, for reasons and reports.
#pragma once

#include <string>
#include <string_view>

namespace md3 {

// printf-style formatting into a string (at most 511 bytes).
std::string printf_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `bytes` between double quotes, with '"' and '\\' escaped by a backslash and
// every byte that is not printable ASCII written with `byteEscape`, a printf
// format that takes the byte's value.
std::string escaped_text(std::string_view bytes, const char* byteEscape);

// A name field's bytes between double quotes, with '"' and '\' escaped by a
// backslash and every byte that is not printable ASCII written as \xNN, so
// that any name can be shown on one line and read back unambiguously.
std::string quote_name(std::string_view bytes);

// "1 model", "2 models": `count` with the word that goes with it.
std::string counted(long long count, const char* singular, const char* plural);

}  // namespace md3
