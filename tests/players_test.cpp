// meshcheck over players and weapons: each fault of a generated player or
// weapon is reported with its figures, a complete one has none, and the
// same player loose, in a .pk3, in a .pk3dir or through --game is reported
// alike.
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "support.hpp"
#include "zip_builder.hpp"

using namespace md3;

namespace {

using nlohmann::json;
using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>;  // by name below the game folder

constexpr const char* kPlayer = "models/players/p/";
constexpr const char* kWeapon = "models/weapons2/w/";
constexpr int kLowerFrames = 40, kUpperFrames = 50;

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes part_model(int frames, std::vector<std::string> tags) {
    BuiltModel m = frames_only_model(frames);
    m.numTags = static_cast<std::int32_t>(tags.size());
    m.tagNames = std::move(tags);
    const ModelBuffer built = build_model(m);
    return Bytes(built.begin(), built.end());
}

// One line per animation: the first frame and frame count of each, in the
// game's order, with a known word and a comment first. Both and torso
// animations play upper's frames 0-19; the legs' first frames start at 20,
// 10 past TORSO_GESTURE's, so that they play lower's 10-19.
std::string animation_text(std::size_t count = 25,
                           const std::map<std::size_t, std::string>& changed = {}) {
    std::string text = "// made for the test\nsex m\nfootsteps boot\n";
    for (std::size_t i = 0; i < count; ++i) {
        const std::string line = i < 6 ? "0 10 0 20" : i < 13 ? "10 10 0 20" : "20 10 0 20";
        text += (changed.contains(i) ? changed.at(i) : line) + "\n";
    }
    return text;
}

Files complete_player() {
    Files f;
    const std::string p = kPlayer;
    f[p + "lower.md3"] = part_model(kLowerFrames, {"tag_torso"});
    f[p + "upper.md3"] = part_model(kUpperFrames, {"tag_head", "tag_weapon", "tag_torso"});
    f[p + "head.md3"] = part_model(1, {"tag_head"});
    for (const char* part : {"lower", "upper", "head"})
        f[p + part + "_default.skin"] = text_bytes("s,textures/s\n");
    f[p + "icon_default.tga"] = text_bytes("icon");
    f[p + "animation.cfg"] = text_bytes(animation_text());
    const std::string w = kWeapon;
    f[w + "w.md3"] = part_model(1, {"tag_barrel", "tag_flash"});
    for (const char* part : {"w_hand.md3", "w_barrel.md3", "w_flash.md3"})
        f[w + part] = part_model(1, {});
    return f;
}

struct Expected {
    std::string kind;
    json figures = json::object();  // a subset of the problem's members
};

struct Row {
    const char* name;
    std::function<void(Files&)> fault;
    std::vector<Expected> player, weapon;
};

const std::string P = kPlayer, W = kWeapon;

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"complete", [](Files&) {}, {}, {}},
        {"no lower.md3", [](Files& f) { f.erase(P + "lower.md3"); }, {{"player_part_missing"}}, {}},
        {"head from heads/",
         [](Files& f) {
             f["models/players/heads/p/p.md3"] = f[P + "head.md3"];
             f.erase(P + "head.md3");
         },
         {},
         {}},
        {"no head anywhere",
         [](Files& f) { f.erase(P + "head.md3"); },
         {{"player_part_missing"}},
         {}},
        {"no head skin",
         [](Files& f) { f.erase(P + "head_default.skin"); },
         {{"player_skin_missing"}},
         {}},
        {"a second skin without its head skin and icon",
         [](Files& f) {
             f[P + "lower_x.skin"] = f[P + "lower_default.skin"];
             f[P + "upper_x.skin"] = f[P + "upper_default.skin"];
         },
         {{"player_skin_missing"}, {"player_icon_missing"}},
         {}},
        {"one team skin",
         [](Files& f) { f[P + "lower_red.skin"] = f[P + "lower_default.skin"]; },
         {{"player_team_skin"}, {"player_team_skin"}},
         {}},
        {"team skins complete",
         [](Files& f) {
             for (const char* part : {"lower", "upper", "head"})
                 for (const char* team : {"_red", "_default_blue"})
                     f[P + part + team + ".skin"] = f[P + "lower_default.skin"];
         },
         {},
         {}},
        {"icon in another format",
         [](Files& f) {
             f[P + "icon_default.png"] = f[P + "icon_default.tga"];
             f.erase(P + "icon_default.tga");
         },
         {{"player_icon_missing"}},
         {}},
        {"icon as a skin",
         [](Files& f) {
             f[P + "icon_default.skin"] = f[P + "icon_default.tga"];
             f.erase(P + "icon_default.tga");
         },
         {},
         {}},
        {"no animation.cfg",
         [](Files& f) { f.erase(P + "animation.cfg"); },
         {{"animation_missing"}},
         {}},
        {"animation.cfg just short enough",
         [](Files& f) {
             Bytes& cfg = f[P + "animation.cfg"];
             cfg.resize(19998, ' ');
         },
         {},
         {}},
        {"animation.cfg too long",
         [](Files& f) { f[P + "animation.cfg"].resize(19999, ' '); },
         {{"animation_too_long", {{"value", 19999}, {"limit", 19999}}}},
         {}},
        {"24 animations",
         [](Files& f) { f[P + "animation.cfg"] = text_bytes(animation_text(24)); },
         {{"animation_too_few", {{"value", 24}, {"limit", 25}}}},
         {}},
        {"an unknown word",
         [](Files& f) { f[P + "animation.cfg"] = text_bytes("bogus\n" + animation_text()); },
         {{"animation_word", {{"count", 1}}}},
         {}},
        {"known words with values and a block comment",
         [](Files& f) {
             f[P + "animation.cfg"] =
                 text_bytes("headoffset 1 2 3\nfixedtorso /* bogus 7 */\n" + animation_text());
         },
         {},
         {}},
        {"LEGS_RUN past the legs' frames",
         [](Files& f) {
             f[P + "animation.cfg"] = text_bytes(animation_text(31, {{15, "45 10 0 20"}}));
         },
         {{"animation_range", {{"first_frame", 35}, {"last_frame", 44}, {"part_frames", 40}}}},
         {}},
        {"TORSO_ATTACK played reversed past the torso's frames",
         [](Files& f) {
             f[P + "animation.cfg"] = text_bytes(animation_text(25, {{7, "45 -10 0 20"}}));
         },
         {{"animation_range", {{"first_frame", 45}, {"last_frame", 54}, {"part_frames", 50}}}},
         {}},
        {"BOTH_DEATH1 within the torso's frames, past the legs'",
         [](Files& f) {
             f[P + "animation.cfg"] = text_bytes(animation_text(25, {{0, "35 10 0 20"}}));
         },
         {{"animation_range", {{"first_frame", 35}, {"last_frame", 44}, {"part_frames", 40}}}},
         {}},
        {"no tag_torso in lower",
         [](Files& f) { f[P + "lower.md3"] = part_model(kLowerFrames, {"tag_weapon"}); },
         {{"tag_missing"}},
         {}},
        {"tag_head in another case",
         [](Files& f) {
             f[P + "upper.md3"] = part_model(kUpperFrames, {"Tag_Head", "tag_weapon", "tag_torso"});
         },
         {{"tag_missing",
           {{"message",
             "upper.md3 has no tag_head (it has \"Tag_Head\": tags are compared case "
             "by case): the head is drawn at the torso's origin, in the chest"}}}},
         {}},
        {"no tag_flash",
         [](Files& f) { f[W + "w.md3"] = part_model(1, {"tag_barrel"}); },
         {},
         {{"tag_missing"}}},
        {"no tag_barrel beside a barrel",
         [](Files& f) { f[W + "w.md3"] = part_model(1, {"tag_flash"}); },
         {},
         {{"tag_missing"}}},
        {"no tag_barrel and no barrel",
         [](Files& f) {
             f[W + "w.md3"] = part_model(1, {"tag_flash"});
             f.erase(W + "w_barrel.md3");
         },
         {},
         {}},
        {"no tag_flash and no flash",
         [](Files& f) {
             f[W + "w.md3"] = part_model(1, {"tag_barrel"});
             f.erase(W + "w_flash.md3");
         },
         {},
         {}},
        {"no hand model",
         [](Files& f) { f.erase(W + "w_hand.md3"); },
         {},
         {{"weapon_hand_missing"}}},
    };
    return table;
}

class Players : public ScratchDir {
protected:
    void write_tree(const std::string& root, const Files& files) const {
        for (const auto& [name, bytes] : files) {
            const fs::path file = dir / root / name;
            fs::create_directories(file.parent_path());
            write_file(file.string(), ModelBuffer(bytes.begin(), bytes.end()));
        }
    }
    void write_pk3(const std::string& name, const Files& files) const {
        std::vector<BuiltMember> members;
        for (const auto& [member, bytes] : files) members.push_back({member, bytes, true});
        const BuiltZip zip = build_zip(members);
        fs::create_directories((dir / name).parent_path());
        write_file(path(name), ModelBuffer(zip.bytes.begin(), zip.bytes.end()));
    }
    // The player and weapon lines of a --json run, by "player" or "weapon".
    std::map<std::string, json> assemblies(const std::vector<std::string>& args,
                                           int* status = nullptr) {
        std::vector<std::string> all = {"--json"};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run_tool(MESHCHECK_BIN, all);
        if (status) *status = r.status;
        std::map<std::string, json> found;
        std::size_t start = 0;
        for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos;
             start = end + 1) {
            json line = json::parse(r.out.substr(start, end - start));
            for (const char* key : {"player", "weapon"})
                if (line.contains(key)) found[key] = line;
        }
        return found;
    }
};

void expect_problems(const json& line, const std::vector<Expected>& expected) {
    ASSERT_TRUE(line.is_object());
    const json& problems = line["problems"];
    ASSERT_EQ(problems.size(), expected.size()) << line.dump();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(problems[i]["kind"], expected[i].kind) << line.dump();
        for (auto it = expected[i].figures.begin(); it != expected[i].figures.end(); ++it)
            EXPECT_EQ(problems[i][it.key()], it.value()) << it.key() << " in " << line.dump();
    }
    const bool errors = std::any_of(problems.begin(), problems.end(),
                                    [](const json& p) { return p["severity"] == "error"; });
    EXPECT_EQ(line["health"], errors ? "errors" : problems.empty() ? "ok" : "warnings");
}

TEST_F(Players, EachFaultIsReportedWithItsFigures) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        Files files = complete_player();
        row.fault(files);
        const std::string root = std::string("t") + std::to_string(&row - rows().data());
        write_tree(root, files);
        int status = -1;
        const auto found = assemblies({path(root)}, &status);
        ASSERT_TRUE(found.contains("player") && found.contains("weapon"));
        EXPECT_EQ(found.at("player")["player"], "models/players/p");
        EXPECT_EQ(found.at("weapon")["weapon"], "models/weapons2/w");
        EXPECT_EQ(found.at("player")["path"], path(root));
        expect_problems(found.at("player"), row.player);
        expect_problems(found.at("weapon"), row.weapon);
        // The parts' own records raise nothing, so the status is theirs.
        const bool errors =
            std::any_of(row.player.begin(), row.player.end(),
                        [](const Expected& e) {
                            return e.kind != "player_team_skin" && e.kind != "animation_word";
                        }) ||
            std::any_of(row.weapon.begin(), row.weapon.end(),
                        [](const Expected& e) { return e.kind != "weapon_hand_missing"; });
        EXPECT_EQ(status, errors ? 1 : 0);
    }
}

TEST_F(Players, LooseInAnArchiveInAFolderArchiveAndThroughTheGameAlike) {
    Files files = complete_player();
    files.erase(P + "icon_default.tga");
    files[P + "upper.md3"] = part_model(kUpperFrames, {"tag_head", "Tag_Weapon"});
    files[P + "animation.cfg"] = text_bytes("bogus\n" + animation_text(25, {{15, "45 10 0 20"}}));
    files.erase(W + "w_hand.md3");
    write_tree("loose", files);
    write_tree("folder/players.pk3dir", files);
    write_pk3("game/players.pk3", files);
    const auto loose = assemblies({path("loose")});
    const auto packed = assemblies({path("game/players.pk3")});
    const auto folder = assemblies({path("folder/players.pk3dir")});
    const auto game = assemblies({"--game", path("game"), path("game")});
    for (const auto* run : {&packed, &folder, &game}) {
        for (const char* key : {"player", "weapon"}) {
            ASSERT_TRUE(run->contains(key) && loose.contains(key)) << key;
            EXPECT_EQ(run->at(key)["problems"], loose.at(key)["problems"]) << key;
            EXPECT_EQ(run->at(key)["health"], loose.at(key)["health"]) << key;
            EXPECT_EQ(run->at(key)[key], loose.at(key)[key]) << key;
        }
    }
    EXPECT_EQ(loose.at("player")["problems"].size(), 4u);
    EXPECT_EQ(packed.at("player")["path"], path("game/players.pk3"));
    EXPECT_FALSE(game.at("player").contains("path"));
    EXPECT_EQ(packed.at("player")["parts"],
              json::array({path("game/players.pk3") + ":" + P + "lower.md3",
                           path("game/players.pk3") + ":" + P + "upper.md3",
                           path("game/players.pk3") + ":" + P + "head.md3"}));
    // The text report: the block under the folder, and the tally.
    const RunResult text = run_tool(MESHCHECK_BIN, {path("game/players.pk3")});
    EXPECT_NE(text.out.find(path("game/players.pk3") +
                            ":models/players/p: errors; player\n"
                            "  error: skin \"default\" has no icon_default.tga"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("6 models, 1 player, 1 weapon: "), std::string::npos) << text.out;
}

}  // namespace
