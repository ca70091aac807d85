// How meshcheck shows its findings: indented lines for people, or one JSON
// object per model per line for programs.
#pragma once

#include <string>
#include <string_view>

#include "assemblies.hpp"
#include "check.hpp"
#include "utf8_text.hpp"

namespace md3 {

// "path: health; meshmend: verdict", then one indented line per problem,
// errors first, then (unless `withChanges` is false) what meshmend would do:
// refuse it, or change what, in one line and then in detail.
std::string text_report(const std::string& path, const ModelReport& report,
                        bool withChanges = true);

// "error: surface 1 "fin": normals point into ...": one problem as a line of
// the text report, without its indent.
std::string problem_line(const Problem& problem);

// One piece of advice (what running meshmend would do to the model's look)
// as a line of the "meshmend would change" block, without its indent.
std::string advice_line(const Problem& advice);

// One problem as a JSON object: severity, kind, surface (and its name),
// message and the figures of its kind (keys in meshcheck(1)).
std::string problem_json(const Problem& problem);

// The same facts as one JSON object on one line, with its newline (keys in
// meshcheck(1)). For a member of an archive, `path` is the archive and
// `member` the name inside it, as stored; for a loose file `member` is empty.
std::string json_line(const std::string& path, const ModelReport& report,
                      std::string_view member = {});

// A player's or weapon's own problems as one block: "label: health;
// player" (or weapon), then one indented line per problem, errors first.
std::string assembly_text(const Assembly& assembly);

// The same as one JSON object on one line, with its newline: "player" or
// "weapon" (the folder), "path" (the archive or folder holding it, when
// not the game), "parts", "health" and "problems" (keys in meshcheck(1)).
std::string assembly_json(const Assembly& assembly);

// Models seen so far, by health and by verdict; shadowed copies (which the
// engine never loads) only counted apart, so that they fail no run.
struct Tally {
    long long byHealth[kHealths] = {};
    long long byVerdict[kVerdicts] = {};
    long long models = 0;
    long long shadowed = 0;
    long long players = 0, weapons = 0;  // counted by health beside the models
    void add(const ModelReport& report);
    void add(const Assembly& assembly);
};

// "181 models: 150 ok, 25 with warnings, 6 with errors; meshmend would
// change 178 and refuse 3\n"; invalid and unreadable models are counted
// when there are any.
std::string summary_line(const Tally& tally);

}  // namespace md3
