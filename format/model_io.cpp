// Whole-file load and replace-on-save, with the standard library only so that
// the same code serves every platform.
#include "model_io.hpp"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

void abort_run(int status, const char* message, std::string_view name) {
    std::fflush(stdout);
    const std::string text(name);
    std::fprintf(stderr, message, text.c_str());
    std::fflush(stderr);
    std::exit(status);
}

LoadResult load_model(const std::string& path, ModelBuffer& model) {
    model.clear();
    // Some systems open a directory for reading and report an absurd size.
    std::error_code ec;
    if (fs::is_directory(path, ec)) return LoadResult::cannot_open;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return LoadResult::cannot_open;

    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return LoadResult::cannot_open;
    }
    if (size < Md3Header::kSize) {
        std::fclose(file);
        return LoadResult::too_short;
    }

    try {
        model.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {  // bad_alloc or a size beyond the vector's reach
        std::fclose(file);
        return LoadResult::no_memory;
    }

    // A short read would leave part of the buffer made up; treat it as a file
    // that could not be read rather than repair and save invented bytes.
    const std::size_t got = std::fread(model.data(), 1, model.size(), file);
    std::fclose(file);
    if (got != model.size()) {
        model.clear();
        return LoadResult::cannot_open;
    }
    return LoadResult::ok;
}

namespace {

// Follows a chain of symbolic links to the name of the file they lead to, which
// may not exist yet. Gives up after as many hops as a typical system allows.
fs::path link_target(const fs::path& name) {
    fs::path target = name;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(target, ec))) break;
        const fs::path link = fs::read_symlink(target, ec);
        if (ec) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

void discard(PendingOutput& out) {
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    std::error_code ec;
    fs::remove(out.temp, ec);
}

}  // namespace

bool open_output(const std::string& name, PendingOutput& out) {
#ifdef SIGXFSZ
    // Past a file-size limit the write must fail like it does on a full disk,
    // not kill the process and leave the temporary behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    out = PendingOutput{};
    out.target = link_target(fs::path(name));
    if (out.target.filename().empty()) return false;

    std::random_device entropy;
    std::minstd_rand pick(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A hidden name beside the target: ".skiff.md3.tmp123456".
        std::string name = ".";
        name += out.target.filename().string();
        name += ".tmp";
        name += std::to_string(pick() % 1000000);
        fs::path temp = out.target;
        temp.replace_filename(name);
        // "x": never take over a file that already exists under that name.
        out.file = std::fopen(temp.string().c_str(), "wbx");
        if (out.file) {
            out.temp = temp;
            return true;
        }
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(temp, ec))) return false;  // not a name clash
    }
    return false;
}

bool commit_output(PendingOutput& out, std::span<const std::uint8_t> bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.file) == bytes.size() &&
                         std::fflush(out.file) == 0 && !std::ferror(out.file);
    const bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (!written || !closed) {
        discard(out);
        return false;
    }

    std::error_code ec;
    const fs::file_status old = fs::status(out.target, ec);
    if (!ec && fs::exists(old)) {
        fs::permissions(out.temp, old.permissions(), fs::perm_options::replace, ec);
        if (ec) {
            discard(out);
            return false;
        }
    }
    fs::rename(out.temp, out.target, ec);
    if (ec) {
        discard(out);
        return false;
    }
    return true;
}
