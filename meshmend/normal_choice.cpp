// The normal modes' names and the crease angle as command lines give them.
#include "normal_choice.hpp"

#include <charconv>

namespace md3 {

bool parse_normal_mode(std::string_view text, NormalMode& mode) {
    if (text == "rebuild")
        mode = NormalMode::rebuild;
    else if (text == "weld")
        mode = NormalMode::weld;
    else if (text == "keep")
        mode = NormalMode::keep;
    else if (text == "broken")
        mode = NormalMode::broken;
    else
        return false;
    return true;
}

bool parse_crease_degrees(std::string_view text, double& degrees) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
    if (!(value >= 0.0 && value <= 180.0)) return false;  // also refuses nan and infinities
    degrees = value + 0.0;                                // -0 is 0
    return true;
}

std::string bad_normal_mode(std::string_view text) {
    return "--normals takes rebuild, weld, broken or keep, not \"" + std::string(text) + "\"";
}

std::string bad_crease(std::string_view text) {
    return "--crease takes an angle from 0 to 180 degrees, not \"" + std::string(text) + "\"";
}

bool welds(NormalMode mode) { return mode == NormalMode::weld || mode == NormalMode::broken; }

}  // namespace md3
