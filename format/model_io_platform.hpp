// The steps of a load and a save that each system takes its own way; the
// order they are taken in is model_io.cpp's. model_io_posix.cpp and
// model_io_windows.cpp each define all of them, and the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model_io.hpp"

namespace md3 {

// A file open for reading: its descriptor (-1 when it did not open) and the
// system's error code of the last step that failed, or kNotRegularFile.
struct InputFile {
    int fd = -1;
    int error = 0;
};

// InputFile::error for a name that is neither a regular file nor a folder: a
// pipe, a socket or a device. No system error code says that.
inline constexpr int kNotRegularFile = -1;

// Opens `path` for reading without waiting for anything (a pipe with no
// writer would hold an open forever) and keeps it only when it is a regular
// file: a folder is refused with EISDIR, anything else with kNotRegularFile.
InputFile open_input(const std::string& path);

// The length of the file, or -1 (with `file.error` set) when it cannot be
// measured; leaves it positioned at its start.
std::int64_t input_length(InputFile& file);

// Reads exactly `into.size()` bytes; false (with `file.error` set) on an error
// or an early end of the file.
bool read_input(InputFile& file, std::span<std::uint8_t> into);

void close_input(InputFile& file);

// Finds the folder, and the name in it, that writing to `name` would create or
// replace, and opens the folder as `out.folder`. False when the system could
// not open `name` either, or when it is not a regular file. With
// `out.links` OutputLinks::replace, a link at `name` is the name replaced.
bool find_target(const std::string& name, OutputState& out);

// Puts the temporary's name `leaf`, in the output's folder, into
// `out.temporary`; false, with it left empty, when it does not fit.
bool name_temporary(OutputState& out, const std::string& leaf);

// Creates the file `out.temporary` names, which must not exist yet, for
// writing; its descriptor, or -1 with errno set.
int create_new(const OutputState& out);

// Writes all of `bytes` to the file `fd`.
bool write_all(int fd, std::span<const std::uint8_t> bytes);

// Gives the temporary what the file it replaces carries and must keep.
bool keep_permissions(const OutputState& out);

// Makes the temporary's bytes survive a crash.
bool flush_to_disk(int fd);

// Closes the file `fd`; false when the system reports that its data was lost.
bool close_file(int fd);

// Renames the temporary over the target, in one step.
bool replace_target(const OutputState& out);

// Makes the rename survive a crash.
bool flush_folder(const OutputState& out);

// Lets go of the folder `out.folder`.
void close_folder(OutputState& out);

}  // namespace md3
