// Messages and endings shared by the programs.
#include "run.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "model_io.hpp"

void ignore_file_size_signal() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void abort_run(int status, const char* message, std::string_view name) {
    std::fflush(stdout);
    const std::string text(name);
    std::fprintf(stderr, message, text.c_str());
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
