// The folder of --report: used only when it is missing or holds nothing but
// a previous report, each file replaced whole, the pictures of the previous
// report that the new one does not show removed once its page is in place.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace md3 {

// Why `dir` may not hold the report, or empty when it may: it is missing
// (it is made now), empty, or holds only a previous report (an index.html
// that begins as report_page's pages do, and PNG files). A folder made now
// gets a page saying the report is being written, so that a run stopped
// half-way leaves a folder the next run takes back.
std::string prepare_report_folder(const std::string& dir);

// Writes `bytes` as the file `name` in `dir`, whole or not at all, a link
// there replaced and never followed. The system's reason when it fails,
// else empty.
std::string write_report_file(const std::string& dir, const std::string& name,
                              std::span<const std::uint8_t> bytes);

// Removes the PNG files of `dir` that are not among `shown`.
void remove_unshown_pictures(const std::string& dir, const std::vector<std::string>& shown);

}  // namespace md3
