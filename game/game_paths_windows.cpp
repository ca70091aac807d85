// Windows paths: '/' and '\' both separate, and names match in any case.
#include "game_paths.hpp"

namespace md3 {

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

bool loose_names_keep_case() { return false; }

}  // namespace md3
