// Loading a model file into one buffer, and replacing an output file with a
// buffer without ever leaving a partial or destroyed file behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "md3_layout.hpp"

namespace md3 {

enum class LoadResult {
    ok,
    cannot_open,  // the file could not be opened (or is not a regular file), measured or read
    too_short,    // shorter than a model header (this includes an empty file)
    no_memory,    // no buffer as large as the file could be allocated
};

// Why a load failed, for a program that explains it: the system's error where
// there was one, and the file's size once it was measured (-1 before).
struct LoadFailure {
    std::error_code error;
    std::int64_t size = -1;
};

// The error a load gives for a name that is not a regular file (a pipe, a
// socket, a device): it is refused before anything waits on it or reads it.
std::error_code not_a_regular_file();

// Reads the whole file `path` into `model`, which ends up exactly as large as
// the file. Files shorter than a model header are refused before any
// allocation. On failure `model` is left empty and, if `failure` is given, it
// says why.
LoadResult load_model(const std::string& path, ModelBuffer& model, LoadFailure* failure = nullptr);

// Reads only the part of the file `path` a check looks at: its first ofsEnd
// bytes, as the header gives it, when that lies within the file, else the
// header alone. `fileSize` is set to the file's whole length: what follows
// ofsEnd is counted, never held. Otherwise as load_model.
LoadResult load_model_head(const std::string& path, ModelBuffer& model, std::int64_t& fileSize,
                           LoadFailure* failure = nullptr);

// Where an output is written, and its temporary's name in fixed storage: the
// name is complete before the temporary exists, so that a signal handler can
// remove it with one system call, allocating nothing and reading nothing the
// rest of the program may be changing at that moment. An empty name means
// there is no temporary.
#ifdef _WIN32
struct OutputFolder {
    std::string path;  // with its final separator, or empty for the current folder
};
struct TemporaryName {
    wchar_t path[32768] = {};  // the full system name: a long path may need all of it
};
#else
struct OutputFolder {
    int fd = -1;  // held open: only the names' last components are used in it
};
struct TemporaryName {
    int folder = -1;      // the output's folder, held open by its PendingOutput
    char leaf[256] = {};  // the name in it, as long as a folder entry may be
};
#endif

// Everything an output being written consists of. Only the save code reads
// or changes it; a caller holds it inside a PendingOutput.
// Whether an output named by a symbolic link replaces the file the link
// leads to (and the link survives), or the link itself.
enum class OutputLinks { follow, replace };

struct OutputState {
    int file = -1;  // the temporary, open for writing
    OutputLinks links = OutputLinks::follow;
    // The name it replaces in the folder: the output's own, or where its links lead.
    std::string target;
    OutputFolder folder;      // where both names are
    TemporaryName temporary;  // the temporary's name, empty when there is none
};

// An output being written: a temporary file beside the file it will replace.
// It owns the temporary: one that is never committed is closed and removed
// when the PendingOutput goes away, whatever path the code took.
class PendingOutput {
public:
    PendingOutput() = default;
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    ~PendingOutput();

    // Whether a temporary is open, waiting for commit_output.
    bool is_open() const noexcept { return state_.file >= 0; }
    // The open temporary's name for remove_temporary_now; empty when there is
    // none. Copy it before a handler may use it: it changes as the output does.
    const TemporaryName& temporary() const noexcept { return state_.temporary; }

private:
    friend bool open_output(const std::string& name, PendingOutput& out, OutputLinks links);
    friend bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes);
    friend void discard_output(PendingOutput& out) noexcept;
    OutputState state_;
};

// Creates the temporary for output `name` in the same folder as the file it
// will replace (the target of `name` if that is a symbolic link, so the link
// survives), dropping whatever `out` held before. Returns false, with nothing
// created, when that is impossible, including when the system itself could
// not open `name`: a loop of links, or a chain longer than it follows (errno
// then says why, as after a failed commit_output). An
// output whose name leaves no room for the usual temporary's gets a short one.
// With OutputLinks::replace, a link at `name` is neither followed nor read:
// the new file takes its place in the named folder, and nothing outside that
// folder is opened for writing.
bool open_output(const std::string& name, PendingOutput& out,
                 OutputLinks links = OutputLinks::follow);

// Writes `bytes` to the temporary, gives it the permission bits of the file it
// replaces, flushes it to stable storage, closes it and renames it over that
// file, then flushes the folder so that the rename survives a crash too. On
// any failure the temporary is removed and the result is false; the old file
// is left exactly as it was, unless only the folder's flush failed, when the
// new file is already in its place. Either way `out` holds nothing afterwards.
bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes);

// Closes and removes the temporary of `out`, if it has one: the output is
// given up and the file it would have replaced stays as it was.
void discard_output(PendingOutput& out) noexcept;

// Removes the temporary named by `name`, if it names one, with one system
// call and nothing else: safe to call from a signal handler, when the process
// is interrupted in the middle of a save.
void remove_temporary_now(const TemporaryName& name) noexcept;

}  // namespace md3
