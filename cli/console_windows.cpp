// Text on Windows: the arguments as UTF-8 from the wide ones the program is
// given, and text to a stream: a console shows characters, not bytes in its
// code page, so it is given UTF-16; a file or pipe gets the UTF-8 bytes.
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run.hpp"
#include "wide_names.hpp"

namespace md3 {

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(utf8_from_utf16(std::u16string(arg.begin(), arg.end())));
    }
    return args;
}

void print_text(std::FILE* stream, std::string_view text) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::u16string wide = utf16_from_utf8(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace md3
