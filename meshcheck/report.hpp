// How meshcheck shows its findings: indented lines for people, or one JSON
// object per model per line for programs.
#pragma once

#include <string>
#include <string_view>

#include "check.hpp"

// "path: verdict", then one indented line per finding and warning.
std::string text_report(const std::string& path, const ModelReport& report);

// The same facts as one JSON object on one line, with its newline (keys in
// meshcheck(1)).
std::string json_line(const std::string& path, const ModelReport& report);

// Models seen so far, by verdict, and the warnings they raised.
struct Tally {
    long long byVerdict[kVerdicts] = {};
    long long models = 0;
    long long warnings = 0;
    void add(const ModelReport& report);
};

// "2 models: 1 clean, 1 repairable, 0 refused, 0 invalid, 0 unreadable; 0 warnings\n"
std::string summary_line(const Tally& tally);

// Whether `bytes` are valid UTF-8 throughout.
bool is_utf8(std::string_view bytes);

// `bytes` as a JSON string that decodes to the same characters: valid UTF-8
// as it is, '"' and '\' escaped, control bytes as \u00XX, and each byte
// that is not part of valid UTF-8 as U+FFFD (the report then carries the
// exact bytes beside it, in hex).
std::string json_string(std::string_view bytes);

// A name as it is in the file, between double quotes, for the text report:
// only what would break the line or misread it is escaped, a control byte or
// a byte that is not part of valid UTF-8 as \xNN and '"' as \". A
// backslash stays one backslash.
std::string shown_name(std::string_view bytes);
