// Options and names of meshmend's command line.
#include "command_line.hpp"

#include <charconv>
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

bool parse_mode(std::string_view text, NormalMode& mode) {
    if (text == "rebuild")
        mode = NormalMode::rebuild;
    else if (text == "weld")
        mode = NormalMode::weld;
    else if (text == "keep")
        mode = NormalMode::keep;
    else
        return false;
    return true;
}

// An angle in degrees from 0 to 180, as a decimal number.
bool parse_degrees(std::string_view text, double& degrees) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
    if (!(value >= 0.0 && value <= 180.0)) return false;  // also refuses nan and infinities
    degrees = value;
    return true;
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
        if (parse_mode(mode, line.normals.mode)) return true;
        fail(line, "--normals takes rebuild, weld or keep, not \"" + std::string(mode) + "\"");
    } else if (arg == "--crease" || arg.starts_with("--crease=")) {
        const std::string_view degrees = value_of(arg, "--crease");
        creaseGiven = true;
        if (parse_degrees(degrees, line.normals.creaseDegrees)) return true;
        fail(line,
             "--crease takes an angle from 0 to 180 degrees, not \"" + std::string(degrees) + "\"");
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
    else if (creaseGiven && line.normals.mode != NormalMode::weld)
        fail(line, "--crease goes with --normals=weld");
    return line;
}

}  // namespace md3
