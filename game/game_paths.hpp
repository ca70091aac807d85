// What the system's paths are like, where the game's search depends on it.
// Each system's answers are in game_paths_posix.cpp and
// game_paths_windows.cpp.
#pragma once

namespace md3 {

// Whether `c` separates the components of a path on this system.
bool is_path_separator(char c);

// Whether the file system tells names apart by case, so that a loose file is
// opened only by a name in its own case.
bool loose_names_keep_case();

}  // namespace md3
