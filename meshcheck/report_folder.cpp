// Judging, filling and tidying the folder of --report.
#include "report_folder.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "interrupt.hpp"
#include "picture_output.hpp"
#include "report_page.hpp"

namespace md3 {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPageName = "index.html";

fs::path path_of(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

std::string name_of(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

bool begins_with(const fs::path& file, std::string_view head) {
    std::string bytes(head.size(), '\0');
    std::ifstream in(file, std::ios::binary);
    return in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) && bytes == head;
}

// Why the entry is no part of a previous report, or empty when it is.
std::string foreign(const fs::directory_entry& entry) {
    std::error_code error;
    const std::string name = name_of(entry.path());
    if (!entry.is_regular_file(error) || entry.is_symlink(error))
        return name + " is not a file of a report";
    if (name == kPageName)
        return begins_with(entry.path(), kReportPageHead) ? "" : name + " is not meshcheck's page";
    if (!is_png_name(name) || !begins_with(entry.path(), "\x89PNG\r\n\x1a\n"))
        return name + " is not a picture of a report";
    return "";
}

std::string string_of(std::string_view text) { return std::string(text); }

}  // namespace

std::string prepare_report_folder(const std::string& dir) {
    const fs::path path = path_of(dir);
    std::error_code error;
    bool empty = true;
    if (fs::exists(path, error)) {
        if (!fs::is_directory(path, error)) return "it is there and is not a folder";
        for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
            empty = false;
            const std::string why = foreign(entry);
            if (!why.empty()) return "it is not a meshcheck report: " + why;
        }
        if (error) return error.message();
    } else if (!fs::create_directory(path, error)) {
        return error ? error.message() : "it could not be made";
    }
    if (!empty) return "";
    const std::string page =
        string_of(kReportPageHead) +
        "<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>meshcheck "
        "report</title>\n</head>\n<body>\n<p>meshcheck is writing this "
        "report.</p>\n</body>\n</html>\n";
    return write_report_file(dir, kPageName,
                             {reinterpret_cast<const std::uint8_t*>(page.data()), page.size()});
}

std::string write_report_file(const std::string& dir, const std::string& name,
                              std::span<const std::uint8_t> bytes) {
    const std::string file = dir + (dir.ends_with('/') ? "" : "/") + name;
    PendingOutput out;
    errno = 0;
    bool written = open_output_removed_on_interrupt(file, out, OutputLinks::replace);
    written = written && commit_output(out, bytes);
    const int why = errno;
    remove_on_interrupt(nullptr);
    if (written) return "";
    return why != 0 ? std::strerror(why) : "no regular file in its place";
}

void remove_unshown_pictures(const std::string& dir, const std::vector<std::string>& shown) {
    std::error_code error;
    std::vector<fs::path> unshown;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_of(dir), error)) {
        const std::string name = name_of(entry.path());
        if (is_png_name(name) && std::find(shown.begin(), shown.end(), name) == shown.end())
            unshown.push_back(entry.path());
    }
    for (const fs::path& file : unshown) fs::remove(file, error);
}

}  // namespace md3
