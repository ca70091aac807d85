// The plain repair pass the optimised one is compared against.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "normal_choice.hpp"

// Same contract and output as repair_model.
bool reference_repair(std::span<std::uint8_t> model, std::FILE* progress);
bool reference_repair(std::span<std::uint8_t> model, std::FILE* progress,
                      const md3::NormalChoice& normals);
