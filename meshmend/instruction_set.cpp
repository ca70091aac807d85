#include "instruction_set.hpp"

namespace {

bool usable(InstructionSet set) {
#if MD3_X86_KERNELS
    __builtin_cpu_init();  // in case this runs before the library's own constructors
#endif
    switch (set) {
        case InstructionSet::baseline:
            return true;
#if MD3_X86_KERNELS
        // Also checks that the operating system saves the wider registers.
        case InstructionSet::avx2:
            return __builtin_cpu_supports("avx2");
        case InstructionSet::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
#endif
        default:
            return false;
    }
}

}  // namespace

InstructionSet best_instruction_set() {
    for (const InstructionSet set : {InstructionSet::avx512, InstructionSet::avx2})
        if (usable(set)) return set;
    return InstructionSet::baseline;
}

std::vector<InstructionSet> usable_instruction_sets() {
    std::vector<InstructionSet> sets;
    for (const InstructionSet set : {InstructionSet::baseline, InstructionSet::avx2, InstructionSet::avx512})
        if (usable(set)) sets.push_back(set);
    return sets;
}

const char* instruction_set_name(InstructionSet set) {
    switch (set) {
        case InstructionSet::avx2:
            return "avx2";
        case InstructionSet::avx512:
            return "avx512";
        default:
            return "baseline";
    }
}
