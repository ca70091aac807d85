// Which compiled copy of the vertex work this processor can run.
#pragma once

#include <vector>

enum class InstructionSet {
    baseline,  // whatever the target's default is
    avx2,      // x86-64 with AVX2
    avx512,    // x86-64 with AVX-512 F, VL, BW and DQ
};

// The widest instruction set both compiled in and supported by this processor
// and operating system.
InstructionSet best_instruction_set();

// Every instruction set compiled in and supported here, baseline first.
std::vector<InstructionSet> usable_instruction_sets();

// "baseline", "avx2" or "avx512".
const char* instruction_set_name(InstructionSet set);
