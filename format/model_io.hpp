// Loading a model file into one buffer, and replacing an output file with a
// buffer without ever leaving a partial or destroyed file behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <system_error>

#include "md3_layout.hpp"

enum class LoadResult {
    ok,
    cannot_open,  // the file could not be opened, measured or read completely
    too_short,    // shorter than a model header (this includes an empty file)
    no_memory,    // no buffer as large as the file could be allocated
};

// Why a load failed, for a program that explains it: the system's error where
// there was one, and the file's size once it was measured (-1 before).
struct LoadFailure {
    std::error_code error;
    std::int64_t size = -1;
};

// Reads the whole file `path` into `model`, which ends up exactly as large as
// the file. Files shorter than a model header are refused before any
// allocation. On failure `model` is left empty and, if `failure` is given, it
// says why.
LoadResult load_model(const std::string& path, ModelBuffer& model, LoadFailure* failure = nullptr);

// An output being written: a temporary file beside the file it will replace.
// It owns the temporary: one that is never committed is closed and removed
// when the PendingOutput goes away, whatever path the code took.
struct PendingOutput {
    PendingOutput() = default;
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    ~PendingOutput();

    std::FILE* file = nullptr;
    std::string temp;    // the temporary's name in the folder; empty once committed
    std::string target;  // the name it replaces there: the output's own, or where its links lead
#ifdef _WIN32
    std::string folder;  // the folder's path with its final separator, or empty for the current one
#else
    int folder = -1;  // the folder, held open: only the two names' last components are used
#endif
};

// Creates the temporary for output `name` in the same folder as the file it
// will replace (the target of `name` if that is a symbolic link, so the link
// survives). Returns false, with nothing created, when that is impossible,
// including when the system itself could not open `name`: a loop of links, or
// a chain longer than it follows. An output whose name leaves no room for the
// usual temporary's gets a short one.
bool open_output(const std::string& name, PendingOutput& out);

// Writes `bytes` to the temporary, gives it the permission bits of the file it
// replaces, flushes it to stable storage, closes it and renames it over that
// file, then flushes the folder so that the rename survives a crash too. On
// any failure the temporary is removed and the result is false; the old file
// is left exactly as it was, unless only the folder's flush failed, when the
// new file is already in its place.
bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes);

// Removes the temporary of `out`, if it has one, with one system call and
// nothing else: safe to call from a signal handler, when the process is
// interrupted in the middle of a save.
void remove_temporary_now(const PendingOutput& out) noexcept;
