// What the programs share at their edge with the user: the messages they end
// a run with, ending it, and loading a model or ending the run with the
// message that says why not.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "interrupt.hpp"
#include "md3_layout.hpp"
#include "model_io.hpp"

namespace md3 {

// Messages shared by the programs; each takes the file name.
inline constexpr const char* kUnableToOpen = "Unable to open %s. Abort.\n";
inline constexpr const char* kUnableToWrite = "Unable to write %s. Abort.\n";
inline constexpr const char* kCorruptModel = "Corrupt/invalid model: %s. Abort.\n";
inline constexpr const char* kNoMemory = "Unable to allocate enough memory to load %s. Abort.\n";

// The command line, each argument in UTF-8. On Windows the programs start from
// the wide command line (wmain), so that a name outside the ANSI code page
// arrives whole; on other systems the arguments are taken as they are.
#ifdef _WIN32
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);
#endif

// The program's entry point: `run` gets the command line in UTF-8 and
// returns the exit status.
#ifdef _WIN32
#define MD3_PROGRAM_ENTRY(run) \
    int wmain(int argc, wchar_t** argv) { return run(md3::utf8_arguments(argc, argv)); }
#else
#define MD3_PROGRAM_ENTRY(run) \
    int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif

// Writes `text`, which may name files, to `stream` as it is; on a Windows
// console, as the characters its UTF-8 stands for.
void print_text(std::FILE* stream, std::string_view text);

// Flushes standard output (so that a combined stream shows events in order),
// prints `message` with `name` on standard error through print_text and ends
// the process.
[[noreturn]] void abort_run(int status, const char* message, std::string_view name);

// Reads the whole file `path`, or ends the run with `status` and the message
// that matches the failure: it could not be opened or read, it is too short
// for a model header, or there is no memory for it.
ModelBuffer load_or_abort(const std::string& path, int status);

}  // namespace md3
