// Messages and endings shared by the programs.
#include "run.hpp"

#include <cstdio>
#include <cstdlib>

#include "model_io.hpp"
#include "wide_names.hpp"

namespace md3 {

void abort_run(int status, const char* message, std::string_view name) {
    std::fflush(stdout);
    const std::string text(name);
    std::string line(static_cast<std::size_t>(std::snprintf(nullptr, 0, message, text.c_str())),
                     '\0');
    std::snprintf(line.data(), line.size() + 1, message, text.c_str());
    print_text(stderr, line);
    std::fflush(stderr);
    std::exit(status);
}

ModelBuffer load_or_abort(const std::string& path, int status) {
    ModelBuffer model;
    switch (load_model(path, model)) {
        case LoadResult::ok: break;
        case LoadResult::cannot_open: abort_run(status, kUnableToOpen, path);
        case LoadResult::too_short: abort_run(status, kCorruptModel, path);
        case LoadResult::no_memory: abort_run(status, kNoMemory, path);
    }
    return model;
}

}  // namespace md3
