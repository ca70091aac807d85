// Checking a player and a weapon as the game puts them together.
#include "players.hpp"

#include <algorithm>
#include <set>

#include "animation_cfg.hpp"
#include "engine_names.hpp"
#include "text.hpp"
#include "utf8_text.hpp"

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

// "a, b, c": names as shown in a message.
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + shown_path(name);
    return text;
}

Problem problem(ProblemKind kind, const std::string& message) {
    return make_problem(kind, -1, {}, message);
}

void check_team_skins(const PlayerFiles& p, const std::string& skin, std::vector<Problem>& out) {
    for (const char* team : {"red", "blue"}) {
        std::vector<std::string> lacking;
        for (std::size_t part = 0; part < 3; ++part) {
            const std::string own = kPartNames[part] + ("_" + skin) + "_" + team + ".skin";
            const std::string shared = kPartNames[part] + std::string("_") + team + ".skin";
            if (!has_skin(p, part, own) && !has_skin(p, part, shared))
                lacking.push_back(own + " (or " + shared + ")");
        }
        if (!lacking.empty())
            out.push_back(
                problem(ProblemKind::player_team_skin,
                        printf_text("skin %s in the %s team has no %s: team games show "
                                    "the default character",
                                    shown_name(skin).c_str(), team, listed(lacking).c_str())));
    }
}

void check_skins(const PlayerFiles& p, std::vector<Problem>& out) {
    const std::set<std::string> skins = skins_offered(p);
    bool teamSkins = false;
    for (std::size_t part = 0; part < 3; ++part)
        for (const char* team : {"_red", "_blue"}) {
            const std::string prefix = kPartNames[part];
            for (const std::vector<std::string>* list : {&p.files, &p.headFiles})
                for (const std::string& file : *list)
                    teamSkins = teamSkins || (file.starts_with(prefix + "_") &&
                                              file.ends_with(std::string(team) + ".skin"));
        }
    std::vector<std::string> icons;
    for (const std::string& file : p.files)
        if (file.starts_with("icon_")) icons.push_back(file);
    for (const std::string& skin : skins) {
        std::vector<std::string> missing;
        for (std::size_t part = 0; part < 3; ++part) {
            const std::string file = kPartNames[part] + ("_" + skin) + ".skin";
            if (!has_skin(p, part, file)) missing.push_back(file);
        }
        const std::string shown = shown_name(skin);
        if (!missing.empty())
            out.push_back(problem(ProblemKind::player_skin_missing,
                                  printf_text("skin %s has no %s: %s for it", shown.c_str(),
                                              listed(missing).c_str(), kFallsBack)));
        if (!has(p.files, "icon_" + skin + ".skin") && !has(p.files, "icon_" + skin + ".tga")) {
            const std::string others =
                icons.empty() ? "" : " (the folder has " + listed(icons) + ")";
            out.push_back(problem(ProblemKind::player_icon_missing,
                                  printf_text("skin %s has no %s or %s%s: %s for it", shown.c_str(),
                                              shown_path("icon_" + skin + ".tga").c_str(),
                                              shown_path("icon_" + skin + ".skin").c_str(),
                                              others.c_str(), kFallsBack)));
        }
        if (teamSkins) check_team_skins(p, skin, out);
    }
}

// Which parts play animation `index`: both for BOTH_*, the torso for
// TORSO_*, the legs for LEGS_*.
bool played_by(std::size_t index, PlayerPart part) {
    const bool legs = index >= kLegsWalkCrouched && index <= kLegsTurn;
    const bool both = index < kTorsoGesture;
    return part == PlayerPart::lower ? legs || both : !legs;
}

// Each animation's frames against those of the parts that play it.
void check_ranges(const PlayerFiles& p, const AnimationFile& file, std::vector<Problem>& out) {
    const std::int64_t skip =
        file.animations[kLegsWalkCrouched].firstFrame - file.animations[kTorsoGesture].firstFrame;
    for (std::size_t i = 0; i < file.animations.size(); ++i) {
        const Animation& a = file.animations[i];
        const std::int64_t count = a.numFrames < 0 ? -a.numFrames : a.numFrames;
        if (count == 0) continue;
        const std::int64_t first = played_first_frame(file, i);
        const std::int64_t last = first + count - 1;
        for (const PlayerPart part : {PlayerPart::lower, PlayerPart::upper}) {
            const std::size_t k = static_cast<std::size_t>(part);
            if (!played_by(i, part) || !p.parts[k] || p.parts[k]->frames < 0) continue;
            const std::int64_t frames = p.parts[k]->frames;
            if (first >= 0 && last < frames) continue;
            const std::string moved =
                first == a.firstFrame
                    ? ""
                    : printf_text(
                          " (its first frame %lld less the %lld "
                          "torso-only frames)",
                          static_cast<long long>(a.firstFrame), static_cast<long long>(skip));
            Problem pr =
                problem(ProblemKind::animation_range,
                        printf_text("%s plays frames %lld-%lld of %lld in %s%s: the %s to frame 0",
                                    kAnimationNames[i], static_cast<long long>(first),
                                    static_cast<long long>(last), static_cast<long long>(frames),
                                    kPlayerPartFiles[k], moved.c_str(),
                                    part == PlayerPart::lower ? "legs snap" : "torso snaps"));
            pr.firstFrame = first;
            pr.value = last;
            pr.frames = frames;
            out.push_back(pr);
        }
    }
}

void check_animations(const PlayerFiles& p, std::vector<Problem>& out) {
    if (!p.animationFound) {
        out.push_back(problem(ProblemKind::animation_missing,
                              printf_text("no animation.cfg: %s", kFallsBack)));
        return;
    }
    if (p.animationSize >= kAnimationFileLimit - 1) {
        Problem pr =
            problem(ProblemKind::animation_too_long,
                    printf_text("animation.cfg is %lld bytes; the game reads at most "
                                "%lld: %s",
                                static_cast<long long>(p.animationSize),
                                static_cast<long long>(kAnimationFileLimit - 2), kFallsBack));
        pr.value = p.animationSize;
        pr.limit = kAnimationFileLimit - 1;
        out.push_back(pr);
        return;
    }
    const AnimationFile file = read_animation_file(p.animationText);
    if (!file.unknownWords.empty()) {
        std::string words;
        for (const std::string& w : file.unknownWords)
            words += (words.empty() ? "" : ", ") + shown_name(w);
        Problem pr = problem(ProblemKind::animation_word,
                             printf_text("animation.cfg has words the game does not know: %s "
                                         "(skipped, with a console line each)",
                                         words.c_str()));
        pr.count = static_cast<std::int64_t>(file.unknownWords.size());
        out.push_back(pr);
    }
    const std::size_t read = file.animations.size();
    if (read >= kRequiredAnimations) {
        check_ranges(p, file, out);
        return;
    }
    Problem pr = problem(ProblemKind::animation_too_few,
                         printf_text("animation.cfg has %zu animations of the %zu needed (%s is "
                                     "the first missing): %s",
                                     read, kRequiredAnimations, kAnimationNames[read], kFallsBack));
    pr.value = static_cast<std::int64_t>(read);
    pr.limit = static_cast<std::int64_t>(kRequiredAnimations);
    out.push_back(pr);
}

// A missing tag, and the tag of that name in another case when the part has one.
void check_tag(const PartFacts& facts, const std::string& part, const char* tag, const char* where,
               std::vector<Problem>& out) {
    if (!facts.tagsKnown || has(facts.tags, tag)) return;
    std::string other;
    for (const std::string& t : facts.tags)
        if (ascii_lowered(t) == tag)
            other = " (it has " + shown_name(t) + ": tags are compared case by case)";
    out.push_back(problem(
        ProblemKind::tag_missing,
        printf_text("%s has no %s%s: %s", shown_path(part).c_str(), tag, other.c_str(), where)));
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
        const std::string heads =
            part == static_cast<std::size_t>(PlayerPart::head)
                ? " (nor " + shown_path("models/players/heads/" + p.name + "/" + p.name + ".md3") +
                      ")"
                : "";
        out.push_back(
            problem(ProblemKind::player_part_missing,
                    printf_text("no %s%s: %s", kPlayerPartFiles[part], heads.c_str(), kFallsBack)));
    }
    check_skins(p, out);
    check_animations(p, out);
    check_player_tags(p, out);
    errors_first(out);
    return out;
}

std::vector<Problem> check_weapon(const WeaponFiles& w) {
    std::vector<Problem> out;
    const std::string gun = w.name + ".md3";
    // Without a flash model nothing is put on tag_flash: the gauntlet has none.
    if (has(w.files, w.name + "_flash.md3"))
        check_tag(w.gun, gun, "tag_flash", "the flash is drawn at the gun's origin", out);
    if (has(w.files, w.name + "_barrel.md3"))
        check_tag(w.gun, gun, "tag_barrel", "the barrel is drawn at the gun's origin", out);
    if (!has(w.files, w.name + "_hand.md3"))
        out.push_back(problem(ProblemKind::weapon_hand_missing,
                              printf_text("no %s: the shotgun's hands are used",
                                          shown_path(w.name + "_hand.md3").c_str())));
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
