// meshmend's command line: options first, then the input and output names.
#pragma once

#include <string>
#include <vector>

#include "normal_choice.hpp"

namespace md3 {

struct CommandLine {
    enum class Action {
        repair,   // repair `input` into `output` as `normals` says
        help,     // --help
        version,  // --version
        usage,    // show the usage text (after `problem`, if any) and fail
    };
    Action action = Action::repair;
    std::string problem;  // for Action::usage: what was wrong, or empty
    std::string input, output;
    NormalChoice normals;
};

// Reads `args` (args[0] is the program). Until the first name, an argument
// that begins with "--" is an option; "--" itself ends the options, and
// every argument from the first name on is a name. Names fill the input
// slot, then the output slot; an empty name leaves its slot empty for the
// next one; a third name is a usage error, and so is no name at all. The
// output is left empty when no name fills it.
CommandLine parse_command_line(const std::vector<std::string>& args);

}  // namespace md3
