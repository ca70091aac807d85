// meshmend's repair pass: everything that can be derived again from the model
// itself is rewritten in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "instruction_set.hpp"
#include "normal_choice.hpp"
#include "workspace.hpp"

namespace md3 {

// Repairs a model that validate_layout accepted: turns '\' into '/' in the
// model name and each surface's first shader name, cuts a three-character
// extension off that shader name, rebuilds every vertex normal of every frame
// from the triangles (or as `normals` says: see NormalMode), and recomputes
// every frame's bounds, centre and radius. Progress lines go to `progress`,
// or nowhere when it is null; they are the same in every mode.
//
// Returns false as soon as a surface has more than kMaxSurfaceVerts vertices,
// after printing that surface's lines up to its counts; the buffer then holds
// half-done changes and must not be saved.
//
// The pass works in `workspace`, which the caller owns and may reuse for any
// number of models, and allocates nothing. It keeps no state of its own
// between calls: calls with different workspaces may run side by side.
//
// The vertex work runs on `set`, which must be among usable_instruction_sets();
// every set writes the same bytes.
bool repair_model(std::span<std::uint8_t> model, std::FILE* progress, RepairWorkspace& workspace,
                  InstructionSet set, const NormalChoice& normals);
bool repair_model(std::span<std::uint8_t> model, std::FILE* progress, RepairWorkspace& workspace,
                  InstructionSet set = best_instruction_set());

// The same with a workspace of its own for this one call, on the widest
// instruction set here or on `set`.
bool repair_model(std::span<std::uint8_t> model, std::FILE* progress);
bool repair_model(std::span<std::uint8_t> model, std::FILE* progress, InstructionSet set);
bool repair_model(std::span<std::uint8_t> model, std::FILE* progress, InstructionSet set,
                  const NormalChoice& normals);

}  // namespace md3
