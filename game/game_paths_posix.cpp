// POSIX paths: '/' alone separates, and names keep their case.
#include "game_paths.hpp"

namespace md3 {

bool is_path_separator(char c) { return c == '/'; }

bool loose_names_keep_case() { return true; }

}  // namespace md3
