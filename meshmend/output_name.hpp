// The output name meshmend uses when only an input name is given.
#pragma once

#include <string>
#include <string_view>

namespace md3 {

// Replaces whatever follows the last dot of the final path component with
// "md3"; a component without a dot gets "md3" appended with no dot. So
// ship.MD3 gives ship.md3, ship.old.bak gives ship.old.md3 and models/ship
// gives models/shipmd3.
std::string default_output_name(std::string_view input);

}  // namespace md3
