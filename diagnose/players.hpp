// What the game makes of a player (lower, upper and head joined by tags,
// with their skins, icons and animations) and of a weapon (the gun with its
// hand, flash and barrel), from what checking each model recorded of it and
// the names of the files beside it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "model_report.hpp"
#include "problems.hpp"

namespace md3 {

enum class PlayerPart { lower, upper, head };
inline constexpr std::array<const char*, 3> kPlayerPartFiles = {"lower.md3", "upper.md3",
                                                                "head.md3"};

struct PlayerFiles {
    std::string name;  // NAME of models/players/NAME
    // Each part: nullopt when the game finds no file of its name; facts with
    // frames -1 when it is there but its figures are not known.
    std::array<std::optional<PartFacts>, 3> parts;
    bool headFromHeads = false;  // head.md3 missing, models/players/heads/NAME/NAME.md3 used
    // The names of the files in the folder, lowercased, without the folder;
    // with the head from heads/, also those of its folder.
    std::vector<std::string> files, headFiles;
    bool animationFound = false;
    std::int64_t animationSize = 0;
    std::string animationText;  // read only when it is not too long
};

// The player's problems, errors first: missing parts, skins and icons,
// animation.cfg's faults, animations past a part's frames, missing tags.
std::vector<Problem> check_player(const PlayerFiles& player);

struct WeaponFiles {
    std::string name;  // W of models/weapons2/W/W.md3
    PartFacts gun;
    std::vector<std::string> files;  // lowercased names in the folder
};

// The weapon's problems: the gun's missing tag_flash, tag_barrel with a
// barrel model beside it, and a missing hand model.
std::vector<Problem> check_weapon(const WeaponFiles& weapon);

// The health of a player or weapon from its problems.
Health health_of_problems(const std::vector<Problem>& problems);

}  // namespace md3
