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
    long long byVerdict[5] = {};
    long long models = 0;
    long long warnings = 0;
    void add(const ModelReport& report);
};

// "181 models: 120 clean, 58 repairable, 3 refused, 0 invalid, 0 unreadable; 12 warnings\n"
std::string summary_line(const Tally& tally);

// `bytes` as a JSON string: '"' and '\' escaped, and every byte that is not
// printable ASCII written as \u00XX, so that any bytes make valid JSON and
// can be read back (each escape is one byte's value).
std::string json_string(std::string_view bytes);
