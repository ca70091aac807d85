// A player's animation.cfg as the game reads it: the optional words, then
// four numbers per animation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace md3 {

// The animations in the game's order; the first kRequiredAnimations must all
// be there, the rest are copied from TORSO_GESTURE when absent.
inline constexpr std::array<const char*, 31> kAnimationNames = {
    "BOTH_DEATH1",   "BOTH_DEAD1",      "BOTH_DEATH2",  "BOTH_DEAD2",     "BOTH_DEATH3",
    "BOTH_DEAD3",    "TORSO_GESTURE",   "TORSO_ATTACK", "TORSO_ATTACK2",  "TORSO_DROP",
    "TORSO_RAISE",   "TORSO_STAND",     "TORSO_STAND2", "LEGS_WALKCR",    "LEGS_WALK",
    "LEGS_RUN",      "LEGS_BACK",       "LEGS_SWIM",    "LEGS_JUMP",      "LEGS_LAND",
    "LEGS_JUMPB",    "LEGS_LANDB",      "LEGS_IDLE",    "LEGS_IDLECR",    "LEGS_TURN",
    "TORSO_GETFLAG", "TORSO_GUARDBASE", "TORSO_PATROL", "TORSO_FOLLOWME", "TORSO_AFFIRMATIVE",
    "TORSO_NEGATIVE"};
inline constexpr std::size_t kRequiredAnimations = 25;
inline constexpr std::size_t kTorsoGesture = 6;
inline constexpr std::size_t kLegsWalkCrouched = 13;
inline constexpr std::size_t kLegsTurn = 24;
// The game reads the file into a buffer of this size and refuses one that
// does not fit with room to spare: kAnimationFileLimit - 1 bytes or more.
inline constexpr std::int64_t kAnimationFileLimit = 20000;

struct Animation {
    std::int64_t firstFrame = 0;
    std::int64_t numFrames = 0;  // negative: played reversed
    std::int64_t loopFrames = 0;
    std::int64_t fps = 0;
};

struct AnimationFile {
    std::vector<Animation> animations;      // as many as were read whole, in the game's order
    std::vector<std::string> unknownWords;  // before the first number, each as written
};

// Reads the text as the game does: tokens split at white space, "//" and
// "/* */" comments skipped, a quoted token taken whole; the known words
// (footsteps, headoffset, sex, fixedlegs, fixedtorso) with their values,
// any other word up to the first token that starts with a digit kept as
// unknown, then numbers four by four, each read as atoi reads it.
AnimationFile read_animation_file(std::string_view text);

// The first frame the game uses for animation `index` of `file` (which must
// be one it read): the legs' own animations are moved down by the torso-only
// frames, which lower.md3 leaves out.
std::int64_t played_first_frame(const AnimationFile& file, std::size_t index);

}  // namespace md3
