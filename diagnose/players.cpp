// Checking a player and a weapon as the game puts them together.
#include "players.hpp"

#include <algorithm>
#include <set>

#include "animation_cfg.hpp"
#include "engine_names.hpp"

namespace md3 {

namespace {

constexpr const char* kFallsBack = "the game shows the default character";
constexpr std::array<const char*, 3> kPartNames = {"lower", "upper", "head"};

bool has(const std::vector<std::string>& files, const std::string& name) {
    return std::find(files.begin(), files.end(), name) != files.end();
}

bool is_team(const std::string& skin) {
    return skin == "red" || skin == "blue" || skin.ends_with("_red") || skin.ends_with("_blue");
}

// The skins the folder offers: S of every lower_S, upper_S or head_S skin
// that is no team skin, and always "default", which the game asks for when
// no other is named.
std::set<std::string> skins_offered(const PlayerFiles& p) {
    std::set<std::string> skins = {"default"};
    for (const std::vector<std::string>* list : {&p.files, &p.headFiles})
        for (const std::string& file : *list) {
            if (!file.ends_with(".skin")) continue;
            for (const char* part : kPartNames) {
                const std::string prefix = std::string(part) + "_";
                if (!file.starts_with(prefix) || file.size() <= prefix.size() + 5) continue;
                const std::string skin =
                    file.substr(prefix.size(), file.size() - prefix.size() - 5);
                if (!is_team(skin)) skins.insert(skin);
            }
        }
    return skins;
}

bool has_skin(const PlayerFiles& p, std::size_t part, const std::string& file) {
    return has(p.files, file) || (part == static_cast<std::size_t>(PlayerPart::head) &&
                                  p.headFromHeads && has(p.headFiles, file));
}

void check_skins(const PlayerFiles& p, std::vector<Problem>& out) {
    const std::set<std::string> skins = skins_offered(p);
    bool teamSkins = false;
    for (std::size_t part = 0; part < 3; ++part)
        for (const char* team : {"red", "blue"})
            for (const std::string& skin : skins)
                teamSkins =
                    teamSkins ||
                    has_skin(p, part, kPartNames[part] + ("_" + skin) + "_" + team + ".skin") ||
                    has_skin(p, part, kPartNames[part] + std::string("_") + team + ".skin");
    std::vector<std::string> icons;
    for (const std::string& file : p.files)
        if (file.starts_with("icon_")) icons.push_back(file);
    for (const std::string& skin : skins) {
        std::string missing;
        for (std::size_t part = 0; part < 3; ++part) {
            const std::string file = kPartNames[part] + ("_" + skin) + ".skin";
            if (!has_skin(p, part, file)) missing += (missing.empty() ? "" : ", ") + file;
        }
        if (!missing.empty())
            out.push_back(make_problem(
                ProblemKind::player_skin_missing, -1, {},
                "skin \"" + skin + "\" has no " + missing + ": " + kFallsBack + " for it"));
        if (!has(p.files, "icon_" + skin + ".skin") && !has(p.files, "icon_" + skin + ".tga")) {
            std::string others;
            for (const std::string& icon : icons) others += (others.empty() ? "" : ", ") + icon;
            out.push_back(make_problem(
                ProblemKind::player_icon_missing, -1, {},
                "skin \"" + skin + "\" has no icon_" + skin + ".tga or icon_" + skin + ".skin" +
                    (others.empty() ? "" : " (the folder has " + others + ")") + ": " + kFallsBack +
                    " for it"));
        }
        if (!teamSkins) continue;
        for (const char* team : {"red", "blue"}) {
            std::string lacking;
            for (std::size_t part = 0; part < 3; ++part) {
                const std::string own = kPartNames[part] + ("_" + skin) + "_" + team + ".skin";
                const std::string shared = kPartNames[part] + std::string("_") + team + ".skin";
                if (!has_skin(p, part, own) && !has_skin(p, part, shared))
                    lacking += (lacking.empty() ? "" : ", ") + own + " (or " + shared + ")";
            }
            if (!lacking.empty())
                out.push_back(make_problem(ProblemKind::player_team_skin, -1, {},
                                           "skin \"" + skin + "\" in the " + team +
                                               " team has no " + lacking +
                                               ": team games show the default character"));
        }
    }
}

// Which parts play animation `index`: both for BOTH_*, the torso for
// TORSO_*, the legs for LEGS_*.
bool played_by(std::size_t index, PlayerPart part) {
    const bool legs = index >= kLegsWalkCrouched && index <= kLegsTurn;
    const bool both = index < kTorsoGesture;
    return part == PlayerPart::lower ? legs || both : !legs;
}

void check_animations(const PlayerFiles& p, std::vector<Problem>& out) {
    if (!p.animationFound) {
        out.push_back(make_problem(ProblemKind::animation_missing, -1, {},
                                   std::string("no animation.cfg: ") + kFallsBack));
        return;
    }
    if (p.animationSize >= kAnimationFileLimit - 1) {
        Problem pr = make_problem(ProblemKind::animation_too_long, -1, {},
                                  "animation.cfg is " + std::to_string(p.animationSize) +
                                      " bytes; the game reads at most " +
                                      std::to_string(kAnimationFileLimit - 2) + ": " + kFallsBack);
        pr.value = p.animationSize;
        pr.limit = kAnimationFileLimit - 1;
        out.push_back(pr);
        return;
    }
    const AnimationFile file = read_animation_file(p.animationText);
    if (!file.unknownWords.empty()) {
        std::string words;
        for (const std::string& w : file.unknownWords)
            words += (words.empty() ? "\"" : ", \"") + w + "\"";
        Problem pr = make_problem(ProblemKind::animation_word, -1, {},
                                  "animation.cfg has words the game does not know: " + words +
                                      " (skipped, with a console line each)");
        pr.count = static_cast<std::int64_t>(file.unknownWords.size());
        out.push_back(pr);
    }
    if (file.animations.size() < kRequiredAnimations) {
        Problem pr = make_problem(ProblemKind::animation_too_few, -1, {},
                                  "animation.cfg has " + std::to_string(file.animations.size()) +
                                      " animations of the " + std::to_string(kRequiredAnimations) +
                                      " needed (" + kAnimationNames[file.animations.size()] +
                                      " is the first missing): " + kFallsBack);
        pr.value = static_cast<std::int64_t>(file.animations.size());
        pr.limit = static_cast<std::int64_t>(kRequiredAnimations);
        out.push_back(pr);
        return;
    }
    const std::int64_t skip =
        file.animations[kLegsWalkCrouched].firstFrame - file.animations[kTorsoGesture].firstFrame;
    for (std::size_t i = 0; i < file.animations.size(); ++i) {
        const std::int64_t count = file.animations[i].numFrames < 0 ? -file.animations[i].numFrames
                                                                    : file.animations[i].numFrames;
        if (count == 0) continue;
        const std::int64_t first = played_first_frame(file, i);
        const std::int64_t last = first + count - 1;
        for (const PlayerPart part : {PlayerPart::lower, PlayerPart::upper}) {
            const auto& facts = p.parts[static_cast<std::size_t>(part)];
            if (!played_by(i, part) || !facts || facts->frames < 0) continue;
            if (first >= 0 && last < facts->frames) continue;
            const bool legs = part == PlayerPart::lower;
            const bool moved = first != file.animations[i].firstFrame;
            Problem pr = make_problem(
                ProblemKind::animation_range, -1, {},
                std::string(kAnimationNames[i]) + " plays frames " + std::to_string(first) + "-" +
                    std::to_string(last) + " of " + std::to_string(facts->frames) + " in " +
                    kPlayerPartFiles[static_cast<std::size_t>(part)] +
                    (moved ? " (its first frame " + std::to_string(file.animations[i].firstFrame) +
                                 " less the " + std::to_string(skip) + " torso-only frames)"
                           : "") +
                    (legs ? ": the legs snap to frame 0" : ": the torso snaps to frame 0"));
            pr.firstFrame = first;
            pr.value = last;
            pr.frames = facts->frames;
            out.push_back(pr);
        }
    }
}

// A missing tag, and the tag of that name in another case when the part has one.
void check_tag(const PartFacts& facts, const std::string& part, const char* tag,
               const std::string& where, std::vector<Problem>& out) {
    if (!facts.tagsKnown || has(facts.tags, tag)) return;
    std::string other;
    for (const std::string& t : facts.tags)
        if (ascii_lowered(t) == tag) other = t;
    out.push_back(make_problem(
        ProblemKind::tag_missing, -1, {},
        part + " has no " + tag +
            (other.empty() ? "" : " (it has \"" + other + "\": tags are compared case by case)") +
            ": " + where));
}

void check_player_tags(const PlayerFiles& p, std::vector<Problem>& out) {
    const auto& lower = p.parts[static_cast<std::size_t>(PlayerPart::lower)];
    const auto& upper = p.parts[static_cast<std::size_t>(PlayerPart::upper)];
    if (lower)
        check_tag(*lower, "lower.md3", "tag_torso",
                  "the torso is drawn at the legs' origin, at the feet", out);
    if (upper) {
        check_tag(*upper, "upper.md3", "tag_head",
                  "the head is drawn at the torso's origin, in the chest", out);
        check_tag(*upper, "upper.md3", "tag_weapon",
                  "the weapon is drawn at the torso's origin, at the waist", out);
    }
}

void errors_first(std::vector<Problem>& problems) {
    std::stable_partition(problems.begin(), problems.end(),
                          [](const Problem& p) { return p.severity == Severity::error; });
}

}  // namespace

std::vector<Problem> check_player(const PlayerFiles& p) {
    std::vector<Problem> out;
    for (std::size_t part = 0; part < 3; ++part) {
        if (p.parts[part]) continue;
        const std::string fallback =
            part == static_cast<std::size_t>(PlayerPart::head)
                ? " (nor models/players/heads/" + p.name + "/" + p.name + ".md3)"
                : "";
        out.push_back(make_problem(
            ProblemKind::player_part_missing, -1, {},
            std::string("no ") + kPlayerPartFiles[part] + fallback + ": " + kFallsBack));
    }
    check_skins(p, out);
    check_animations(p, out);
    check_player_tags(p, out);
    errors_first(out);
    return out;
}

std::vector<Problem> check_weapon(const WeaponFiles& w) {
    std::vector<Problem> out;
    check_tag(w.gun, w.name + ".md3", "tag_flash", "the flash is drawn at the gun's origin", out);
    if (has(w.files, w.name + "_barrel.md3"))
        check_tag(w.gun, w.name + ".md3", "tag_barrel", "the barrel is drawn at the gun's origin",
                  out);
    if (!has(w.files, w.name + "_hand.md3"))
        out.push_back(make_problem(ProblemKind::weapon_hand_missing, -1, {},
                                   "no " + w.name + "_hand.md3: the shotgun's hands are used"));
    errors_first(out);
    return out;
}

Health health_of_problems(const std::vector<Problem>& problems) {
    Health health = Health::ok;
    for (const Problem& p : problems)
        health = p.severity == Severity::error ? Health::errors
                 : health == Health::ok        ? Health::warnings
                                               : health;
    return health;
}

}  // namespace md3
