// Whole-file load and replace-on-save, in the order every system takes them;
// each step that a system takes its own way is in model_io_posix.cpp or
// model_io_windows.cpp. Saving works in the output's folder through the
// system's own calls, which is what lets it follow links as an open would,
// keep long names working and make the replacement survive a crash.
#include "model_io.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <random>
#include <system_error>

#include "model_io_platform.hpp"

namespace md3 {

namespace {

// Closes an input on every way out of a load.
struct InputCloser {
    InputFile& file;
    ~InputCloser() { close_input(file); }
};

// A hidden name beside the target: ".skiff.md3.tmp123456", or, where that
// would be too long for the folder, ".md3tmp123456".
std::string temporary_name(const std::string& target, bool full, unsigned number) {
    return full ? "." + target + ".tmp" + std::to_string(number)
                : ".md3tmp" + std::to_string(number);
}

// Creates a temporary under a name no file has yet; false when no name works.
bool create_temporary(OutputState& out) {
    std::random_device entropy;
    std::minstd_rand pick(entropy());
    bool full = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string leaf = temporary_name(out.target, full, pick() % 1000000);
        if (!name_temporary(out, leaf)) {
            // A name too long to hold is too long for the folder as well.
            if (!full) break;
            full = false;
            continue;
        }
        errno = 0;
        out.file = create_new(out);
        if (out.file >= 0) return true;
        // Nothing was created: the name must not lead a later removal to a
        // file that is someone else's.
        out.temporary = TemporaryName{};
        // Never take over a file that already exists under that name; any
        // other failure may be the full name being too long for the folder.
        if (errno == EEXIST) continue;
        if (!full) break;
        full = false;
    }
    return false;
}

// Leaves errno as the step that failed set it, for a caller that says why.
void discard(OutputState& out) noexcept {
    const int why = errno;
    if (out.file >= 0) close_file(out.file);
    out.file = -1;
    remove_temporary_now(out.temporary);
    out.temporary = TemporaryName{};
    out.target.clear();
    out.links = OutputLinks::follow;
    close_folder(out);
    errno = why;
}

}  // namespace

std::error_code not_a_regular_file() {
    // No system error code says it; a category of its own gives the words.
    static const struct : std::error_category {
        const char* name() const noexcept override { return "file type"; }
        std::string message(int) const override { return "not a regular file"; }
    } category;
    return {1, category};
}

namespace {

// Why an input could not be opened, measured or read, in the words a
// caller shows.
std::error_code input_error(const InputFile& file) {
    return file.error == kNotRegularFile ? not_a_regular_file()
                                         : std::error_code(file.error, std::generic_category());
}

}  // namespace

LoadResult load_model(const std::string& path, ModelBuffer& model, LoadFailure* failure) {
    LoadFailure ignored;
    LoadFailure& why = failure ? *failure : ignored;
    why = LoadFailure{};
    model.clear();
    InputFile file = open_input(path);
    const InputCloser closer{file};
    const auto cannot_open = [&] {
        why.error = input_error(file);
        return LoadResult::cannot_open;
    };
    if (file.fd < 0) return cannot_open();

    const std::int64_t size = input_length(file);
    if (size < 0) return cannot_open();
    why.size = size;
    if (size < Md3Header::kSize) return LoadResult::too_short;

    try {
        model.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {  // bad_alloc or a size beyond the vector's reach
        why.error = std::make_error_code(std::errc::not_enough_memory);
        return LoadResult::no_memory;
    }

    // A short read would leave part of the buffer made up; treat it as a file
    // that could not be read rather than repair and save invented bytes.
    if (!read_input(file, model)) {
        model.clear();
        return cannot_open();
    }
    return LoadResult::ok;
}

LoadResult load_model_head(const std::string& path, ModelBuffer& model, std::int64_t& fileSize,
                           LoadFailure* failure) {
    LoadFailure ignored;
    LoadFailure& why = failure ? *failure : ignored;
    why = LoadFailure{};
    model.clear();
    fileSize = -1;
    InputFile file = open_input(path);
    const InputCloser closer{file};
    const auto cannot_open = [&] {
        model.clear();
        why.error = input_error(file);
        return LoadResult::cannot_open;
    };
    if (file.fd < 0) return cannot_open();
    const std::int64_t size = input_length(file);
    if (size < 0) return cannot_open();
    why.size = fileSize = size;
    if (size < Md3Header::kSize) return LoadResult::too_short;

    std::uint8_t header[Md3Header::kSize];
    if (!read_input(file, header)) return cannot_open();
    const std::int64_t end = Md3Header::ofsEnd(header);
    const std::int64_t length = end >= Md3Header::kSize && end <= size ? end : Md3Header::kSize;
    try {
        model.resize(static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        why.error = std::make_error_code(std::errc::not_enough_memory);
        return LoadResult::no_memory;
    }
    std::memcpy(model.data(), header, sizeof header);
    if (!read_input(file, std::span(model).subspan(sizeof header))) return cannot_open();
    return LoadResult::ok;
}

PendingOutput::~PendingOutput() { discard(state_); }

bool open_output(const std::string& name, PendingOutput& pending, OutputLinks links) {
    OutputState& out = pending.state_;
    discard(out);
    out.links = links;
    if (find_target(name, out) && create_temporary(out)) return true;
    discard(out);
    return false;
}

bool commit_output(PendingOutput& pending, std::span<const std::uint8_t> bytes) {
    OutputState& out = pending.state_;
    const bool written = out.file >= 0 && write_all(out.file, bytes);
    // The bytes must be on the disk before the rename makes them the output:
    // after a crash the name must not lead to blocks that were never written.
    const bool kept = written && keep_permissions(out) && flush_to_disk(out.file);
    const bool closed = out.file >= 0 && close_file(out.file);
    out.file = -1;
    if (!kept || !closed || !replace_target(out)) {
        discard(out);
        return false;
    }
    out.temporary = TemporaryName{};  // it is the output now
    // Should this fail, the new model is complete and in place, but a crash
    // could still bring back the old one.
    const bool durable = flush_folder(out);
    discard(out);
    return durable;
}

void discard_output(PendingOutput& pending) noexcept { discard(pending.state_); }

}  // namespace md3
