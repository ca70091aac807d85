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

// The game a run checks models against: its files and the shader names its
// scripts define, read once and then only read from (by every worker).
struct GameReferences {
    GameFiles files;
    ShaderNames shaders;
};

// The problems of a model that validate_layout accepted. `gamePath` is its
// path inside the game, what the engine is asked to load ("models/x.md3"),
// or empty when it lies outside the game (then only its shaders are
// checked).
std::vector<Problem> check_references(std::span<const std::uint8_t> model,
                                      const std::string& gamePath, const GameFiles& game,
                                      const ShaderNames& shaders, const EngineProfile& engine);

// Whether the engine finds `name` as a shader: defined by a script, or, with
// its extension stripped, an image with one of the engine's extensions.
bool shader_resolves(const std::string& name, const GameFiles& game, const ShaderNames& shaders,
                     const EngineProfile& engine);
