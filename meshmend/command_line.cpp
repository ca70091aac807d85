// Options and names of meshmend's command line.
#include "command_line.hpp"

#include <string_view>

namespace md3 {

namespace {

using Action = CommandLine::Action;

void fail(CommandLine& line, const std::string& problem) {
    line.action = Action::usage;
    line.problem = problem;
}

// The value after "=" of an option given as NAME=VALUE.
std::string_view value_of(std::string_view arg, std::string_view name) {
    return arg.size() > name.size() ? arg.substr(name.size() + 1) : std::string_view();
}

// Takes one option into `line`; false when the command line is settled
// (help, version or a usage error).
bool take_option(const std::string& arg, CommandLine& line, bool& creaseGiven) {
    if (arg == "--help") {
        line.action = Action::help;
    } else if (arg == "--version") {
        line.action = Action::version;
    } else if (arg == "--normals" || arg.starts_with("--normals=")) {
        const std::string_view mode = value_of(arg, "--normals");
        if (parse_normal_mode(mode, line.normals.mode)) return true;
        fail(line, bad_normal_mode(mode));
    } else if (arg == "--crease" || arg.starts_with("--crease=")) {
        const std::string_view degrees = value_of(arg, "--crease");
        creaseGiven = true;
        if (parse_crease_degrees(degrees, line.normals.creaseDegrees)) return true;
        fail(line, bad_crease(degrees));
    } else {
        fail(line, "unknown option " + arg);
    }
    return false;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine line;
    bool options = true, creaseGiven = false;
    std::size_t names = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.starts_with("--")) {
            if (!take_option(arg, line, creaseGiven)) return line;
        } else {
            options = false;
            ++names;
            if (line.input.empty())
                line.input = arg;
            else if (line.output.empty())
                line.output = arg;
            else
                return fail(line, ""), line;
        }
    }
    if (names == 0)
        fail(line, "");
    else if (creaseGiven && !welds(line.normals.mode))
        fail(line, kCreaseAlone);
    return line;
}

}  // namespace md3
