// The instruction sets, their names and whether this processor runs each.
#include "instruction_set.hpp"

namespace md3 {

namespace {

bool usable(InstructionSet set) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();  // in case this runs before the library's own constructors
#endif
    switch (set) {
#define MD3_KERNEL_CASE(name, runs_here) \
    case InstructionSet::name: return runs_here;
        MD3_FOR_EACH_KERNEL(MD3_KERNEL_CASE)
#undef MD3_KERNEL_CASE
    }
    return false;
}

}  // namespace

std::vector<InstructionSet> usable_instruction_sets() {
    std::vector<InstructionSet> sets;
#define MD3_KERNEL_ADD(name, runs_here) \
    if (usable(InstructionSet::name)) sets.push_back(InstructionSet::name);
    MD3_FOR_EACH_KERNEL(MD3_KERNEL_ADD)
#undef MD3_KERNEL_ADD
    return sets;
}

InstructionSet best_instruction_set() { return usable_instruction_sets().back(); }

const char* instruction_set_name(InstructionSet set) {
    switch (set) {
#define MD3_KERNEL_NAME(name, runs_here) \
    case InstructionSet::name: return #name;
        MD3_FOR_EACH_KERNEL(MD3_KERNEL_NAME)
#undef MD3_KERNEL_NAME
    }
    return "unknown";
}

}  // namespace md3
