// The shader names the game's scripts define: every scripts/*.shader file
// of the file system, read only for the names at brace depth 0.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "game_files.hpp"
#include "problems.hpp"

namespace md3 {

struct ShaderNames {
    std::set<std::string> defined;  // lowercased: the engine compares them so
    // A script that cannot be read or parsed: kind "shader_script", a
    // warning naming the file and line in its message.
    std::vector<Problem> problems;
};

// Adds the names the script `text` defines to `names`. A script that breaks
// off (a '}' with no '{', a block, comment or quote never closed) keeps the
// names before the break and adds one problem naming `where` and the line.
void read_shader_script(std::string_view text, const std::string& where, ShaderNames& names);

// Reads the copy the engine uses of every scripts/*.shader file of `game`.
ShaderNames read_shader_scripts(const GameFiles& game);

}  // namespace md3
