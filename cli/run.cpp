// Messages and endings shared by the programs.
#include "run.hpp"

#include <cstdio>
#include <cstdlib>

#include "model_io.hpp"
#include "wide_names.hpp"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#ifdef _WIN32
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(utf8_from_utf16(std::u16string(arg.begin(), arg.end())));
    }
    return args;
}
#endif

void print_text(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    // A console shows characters, not bytes in its code page: give it UTF-16.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::u16string wide = utf16_from_utf8(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
}

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
