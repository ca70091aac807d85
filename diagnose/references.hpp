// What a model refers to in the game, checked against the files the engine
// sees: the shaders its surfaces and its skins name, its lower-detail
// siblings, other copies of it, and the length of its own path.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engines.hpp"
#include "game_files.hpp"
#include "problems.hpp"
#include "shader_scripts.hpp"

namespace md3 {

// The game a run checks models against: its files and the shader names its
// scripts define, read once and then only read from (by every worker).
struct GameReferences {
    GameFiles files;
    ShaderNames shaders;
};

// The problems of a model that validate_layout accepted. `gamePath` is its
// path inside the game, what the engine is asked to load ("models/x.md3"),
// or empty when it lies outside the game (then only its shaders are
// checked). `shadowedCopy`: the copy checked is not the one the engine
// loads (one "shadowed" warning says which it loads). `throughSkin`, when
// given, is set to one flag per surface: drawn with what a skin names (every
// surface of a player part with skins), so that the model's own shader name
// there is not the one drawn.
std::vector<Problem> check_references(std::span<const std::uint8_t> model,
                                      const std::string& gamePath, const GameFiles& game,
                                      const ShaderNames& shaders, const EngineProfile& engine,
                                      bool shadowedCopy = false,
                                      std::vector<char>* throughSkin = nullptr);

// How the engine finds a shader name: a script defines it, or an image
// matches it with its extension stripped; or, for a name with a leading '/'
// or '\', a script defines it without the slash, which the script lookup
// misses (inferred), and an image matches or not; or nothing matches.
enum class ShaderFound { script, image, slash_image, slash_nothing, nothing };
ShaderFound find_shader(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                        const EngineProfile& engine);

// Whether the engine finds `name` as a shader: defined by a script, or, with
// its extension stripped, an image with one of the engine's extensions.
bool shader_resolves(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                     const EngineProfile& engine);

// Drops the problems of the model's own shader names (shader_backslash,
// shader_empty, shader_merged, shader_missing, shader_slash) on surfaces
// drawn through a skin, as check_references flagged them: the engine never
// uses those names there.
void drop_skinned_shader_problems(std::vector<Problem>& problems,
                                  const std::vector<char>& throughSkin);

}  // namespace md3
