// The report of a run as one HTML page: a summary, a table of every record
// (worst first) that a small inline script filters and sorts, and a section
// per record with its picture and its findings in full. The page loads
// nothing but its pictures, works from a file, reads whole without the
// script, and is the same bytes for the same records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace md3 {

// How a page written by report_page begins, so that a folder holding one can
// be told from any other before it is replaced.
inline constexpr std::string_view kReportPageHead =
    "<!DOCTYPE html>\n<!-- meshcheck report: this folder is replaced whole by the next run -->\n";

// One thing the run checked: a model, a player or a weapon. Texts are bytes
// as found (names from an archive are anyone's); the page escapes them all.
struct PageRow {
    std::string kind;                   // what it is, "model", "player": shown in its column
    std::string path;                   // the file, "archive.pk3:member", or a player's folder
    std::string health;                 // a word: "ok", "warnings", "errors", ...
    int rank = 0;                       // the health's order, worst first: 0 comes first
    std::string verdict;                // what meshmend would do, a word
    std::vector<std::string> kinds;     // the problem kinds found, each once, in order
    std::int64_t size = -1;             // bytes, -1 when unknown
    std::string note;                   // beside the health, e.g. "shadowed copy"; may be empty
    std::vector<std::string> problems;  // each in full, one line each
    std::string changes;                // what meshmend would change, lines; may be empty
    std::string picture;                // the picture's file name beside the page; may be empty
    std::string noPicture;              // why there is none, when there is none
    // One file meshmend reads (a model): its size, verdict and picture are
    // shown. A player or a weapon is several, and is shown by its problems.
    bool file = true;
};

// A count shown in the summary: `name` (a word the filters know, or a
// label) and how many.
struct PageCount {
    std::string name;
    long long count = 0;
};

struct PageSummary {
    std::string title;                                       // heads the page
    std::vector<std::pair<std::string, std::string>> facts;  // label, value: engine, folders...
    std::vector<PageCount> byHealth;   // in the filter's order; data-health of each is its name
    std::vector<PageCount> byVerdict;  // in their order
    std::vector<PageCount> byKind;     // records with each problem kind, in the kinds' order
    std::string line;                  // the run's summary line as the text report has it
};

// The page of `rows`, which it shows worst first (by rank, then in the
// order given).
std::string report_page(const PageSummary& summary, std::vector<PageRow> rows);

}  // namespace md3
