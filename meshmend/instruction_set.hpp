// Which compiled copy of the vertex work this processor can run. The copies
// are listed once, in meshmend/CMakeLists.txt; everything here is made from
// that list.
#pragma once

#include <vector>

#include "kernel_list.hpp"

namespace md3 {

// One per compiled copy, narrowest first: baseline (the target's default),
// then on x86-64 Linux avx2 and avx512 (F, VL, BW and DQ).
enum class InstructionSet {
#define MD3_KERNEL_ENUM(name, runs_here) name,
    MD3_FOR_EACH_KERNEL(MD3_KERNEL_ENUM)
#undef MD3_KERNEL_ENUM
};

// The widest instruction set both compiled in and supported by this processor
// and operating system.
InstructionSet best_instruction_set();

// Every instruction set compiled in and supported here, baseline first.
std::vector<InstructionSet> usable_instruction_sets();

// Its name as in the list: "baseline", "avx2", "avx512".
const char* instruction_set_name(InstructionSet set);

}  // namespace md3
