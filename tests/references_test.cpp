// A model's references checked against a generated game: two archives that
// override one another, a .pk3dir, loose files in a base game and a mod, a
// shader script, textures present and missing, a player model with a skin,
// and lower details.
#include "references.hpp"

#include <algorithm>

#include "game_files.hpp"
#include "shader_scripts.hpp"
#include "skins.hpp"
#include "support.hpp"
#include "zip_builder.hpp"

using namespace md3;

namespace {

ModelBuffer model_bytes(const std::vector<std::pair<std::string, std::string>>& surfaces,
                        int frames) {
    BuiltModel model = generated_model(static_cast<int>(surfaces.size()), frames, 14);
    for (std::size_t s = 0; s < surfaces.size(); ++s) {
        model.surfaces[s].name = surfaces[s].first;
        model.surfaces[s].shaders = {surfaces[s].second};
    }
    return build_model(model);
}

std::vector<std::uint8_t> text_bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> as_vector(const ModelBuffer& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, ModelBuffer(bytes.begin(), bytes.end()));
}

// "kind surface" for each problem, sorted.
std::vector<std::string> kinds(const std::vector<Problem>& problems) {
    std::vector<std::string> out;
    for (const Problem& p : problems)
        out.push_back(std::string(kind_name(p.kind)) + " " + std::to_string(p.surface));
    std::sort(out.begin(), out.end());
    return out;
}

const std::string kLongPath = "models/mapobjects/a_rather_long_folder_name/and_a_longer_model.md3";

class ReferencesTest : public ScratchDir {
protected:
    void SetUp() override {
        ScratchDir::SetUp();
        base = path("base");
        mod = path("mod");
        const auto ship = [](int frames) {
            return as_vector(model_bytes(
                {{"hull", "models/ship/hull.tga"}, {"glow", "models/ship/glow"}}, frames));
        };
        write_bytes(base + "/pak0.pk3",
                    build_zip({{"models/ship/ship.md3", ship(2), true},
                               {"models/ship/hull.jpg", text_bytes("jpeg"), false},
                               {"models/ship/ship_1.md3", ship(2), true},
                               {"models/stray_2.md3", ship(1), false},
                               {"models/players/bob/face.tga", text_bytes("tga"), true},
                               {"textures/sky.tga", text_bytes("tga"), true},
                               {"textures/both.tga", text_bytes("tga"), true},
                               {"scripts/base.shader",
                                text_bytes("// a comment { with braces\n"
                                           "Models/Ship/Glow\n{\n  map \"a } b\"\n"
                                           "  /* } */\n  { blendFunc add }\n}\n"),
                                true}})
                        .bytes);
        // Sorted after pak0.pk3 only when case is ignored: it overrides it.
        write_bytes(base + "/PAK1.pk3",
                    build_zip({{"MODELS/SHIP/SHIP.MD3", ship(3), true},
                               {"models/players/bob/head.md3",
                                as_vector(model_bytes({{"h_head", "models/players/bob/own_face"},
                                                       {"h_visor_1", "models\\players\\visor"},
                                                       {"h_hat", "models/players/bob/own_face.tga"},
                                                       {"H_HEAD", ""}},
                                                      1)),
                                true},
                               {"models/players/bob/head_1.md3",
                                as_vector(model_bytes({{"h_head", "models/players/bob/own_face"},
                                                       {"h_visor_1", "models/players/bob/visor"},
                                                       {"h_hat", "models/players/bob/hat.tga"}},
                                                      1)),
                                true},
                               {"models/players/bob/head_default.skin",
                                text_bytes("tag_head,\r\nH_Head,models/players/bob/face.tga\r\n"
                                           "h_visor,models/players/bob/nothing.tga\r\n"
                                           "h_gone,models/players/bob/face\r\n"),
                                false}})
                        .bytes);
        write_bytes(base + "/textures/both.tga", text_bytes("tga"));
        write_bytes(mod + "/models/ship/ship.md3", ship(3));
        write_bytes(
            mod + "/models/box.md3",
            as_vector(model_bytes({{"box", "textures\\extra.tga"}, {"lid", "textures/Loose"}}, 1)));
        // A leading slash: the image is found, a script entry is not.
        write_bytes(mod + "/models/slash.md3",
                    as_vector(model_bytes(
                        {{"sky", "/textures/sky.tga"}, {"glow", "/models/ship/glow"}}, 1)));
        write_bytes(mod + "/" + kLongPath, as_vector(model_bytes({{"rock", "textures/sky"}}, 1)));
        write_bytes(mod + "/extra.pk3dir/textures/extra.png", text_bytes("png"));
        write_bytes(mod + "/textures/Loose.tga", text_bytes("tga"));
        write_bytes(mod + "/scripts/broken.shader", text_bytes("good\n{\n}\n\nbad\n{\n  map x\n"));
    }
    std::string base, mod;
};

TEST_F(ReferencesTest, AGameGivesExactlyTheExpectedProblems) {
    const EngineProfile& engine = default_engine();
    const GameFiles game = open_game({base, mod}, engine);
    EXPECT_TRUE(game.errors.empty());
    const ShaderNames shaders = read_shader_scripts(game);
    ASSERT_EQ(shaders.problems.size(), 1u);
    EXPECT_NE(shaders.problems[0].message.find("broken.shader:6:"), std::string::npos)
        << shaders.problems[0].message;
    EXPECT_TRUE(shaders.defined.contains("good"));
    EXPECT_TRUE(shaders.defined.contains("models/ship/glow"));
    EXPECT_FALSE(shaders.defined.contains("map"));

    struct Case {
        std::string path;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        // Three copies; the mod's loose one is used (and not told it is
        // shadowed), and has the base's three frames its lower detail lacks.
        {"models/ship/ship.md3", {}},
        {"models/ship/ship_1.md3", {"lod_frames -1"}},
        // A lower detail whose base is nowhere is a model of its own.
        {"models/stray_2.md3", {}},
        // A player part is drawn through its skins: the model's own shaders
        // are not reported, the skin's missing one is, and the surface no
        // skin names is drawn with the default texture.
        {"models/players/bob/head.md3", {"skin_shader 1", "skin_surface -1", "skin_unnamed 2"}},
        // Its lower detail is drawn with the same skin, whose lines are the
        // base's to report.
        {"models/players/bob/head_1.md3", {"skin_unnamed 2"}},
        {"models/slash.md3", {"shader_slash 1"}},
        // '\' as '/' and an image in a .pk3dir; a loose image by its exact case.
        {"models/box.md3", {}},
        {kLongPath, {"path_too_long -1"}},
    };
    ModelBuffer bytes;
    for (const Case& c : cases) {
        const std::vector<GamePlace> places = find_places(game, c.path);
        ASSERT_FALSE(places.empty()) << c.path;
        ASSERT_TRUE(read_place(game, places.front(), bytes).ok()) << c.path;
        const std::vector<Problem> problems =
            check_references(bytes, c.path, game, shaders, engine);
        EXPECT_EQ(kinds(problems), c.expected) << c.path;
    }
    // A copy the engine does not load is told which one it does, by its
    // path in its game folder.
    const std::vector<GamePlace> ships = find_places(game, "models/ship/ship.md3");
    ASSERT_EQ(ships.size(), 3u);
    ASSERT_TRUE(read_place(game, ships[1], bytes).ok());
    const std::vector<Problem> shadowed =
        check_references(bytes, "models/ship/ship.md3", game, shaders, engine, true);
    ASSERT_EQ(kinds(shadowed), std::vector<std::string>{"shadowed -1"});
    EXPECT_EQ(shadowed[0].count, 3);
    EXPECT_EQ(fs::path(shadowed[0].used), fs::path(mod + "/models/ship/ship.md3"));
    EXPECT_EQ(shadowed[0].usedMember, "");
    EXPECT_NE(shadowed[0].message.find("loads mod/models/ship/ship.md3 instead"), std::string::npos)
        << shadowed[0].message;
    EXPECT_EQ(shadowed[0].message.find(dir), std::string::npos) << shadowed[0].message;
    // A model file below a game folder is known by its path in the game.
    EXPECT_EQ(game_path_of(game, mod + "/./" + kLongPath), kLongPath);
    EXPECT_EQ(game_path_of(game, path("elsewhere/x.md3")), "");
}

TEST_F(ReferencesTest, NamesAreComparedAsTheEngineComparesThem) {
    struct Case {
        const char* engine;
        const char* name;
        const char* first;  // where the engine finds it first, or "" for nowhere
        std::size_t places;
    };
    const std::vector<Case> cases = {
        {"ioq3", "models/ship/ship.md3", "mod/models/ship/ship.md3", 3},
        {"ioq3", "/models/ship/ship.md3", "mod/models/ship/ship.md3", 3},
        {"ioq3", "\\textures\\both.tga", "base/textures/both.tga", 2},
        {"ioq3", "//textures/both.tga", "", 0},
        {"ioq3", "Models\\Ship\\Ship.MD3", "base/PAK1.pk3:MODELS/SHIP/SHIP.MD3", 2},
        {"ioq3", "models:ship:ship.md3", "base/PAK1.pk3:MODELS/SHIP/SHIP.MD3", 2},
        {"ioq3", "textures/both.tga", "base/textures/both.tga", 2},
        {"q3", "textures/both.tga", "base/pak0.pk3:textures/both.tga", 2},
        {"ioq3", "textures/Loose.tga", "mod/textures/Loose.tga", 1},
#ifndef _WIN32
        {"ioq3", "textures/loose.tga", "", 0},
#endif
        {"ioq3", "TEXTURES/EXTRA.PNG", "mod/extra.pk3dir:textures/extra.png", 1},
        {"ioq3", "models/../models/ship/ship.md3", "", 0},
    };
    for (const Case& c : cases) {
        const GameFiles game = open_game({base, mod}, *find_engine(c.engine));
        const std::vector<GamePlace> places = find_places(game, c.name);
        EXPECT_EQ(places.size(), c.places) << c.engine << " " << c.name;
        const std::string first = places.empty() ? "" : place_text(game, places.front());
        EXPECT_EQ(first.empty() ? "" : fs::path(first).lexically_relative(dir).generic_string(),
                  c.first)
            << c.engine << " " << c.name;
    }
}

// The program finds the same problems as the library, for loose models by
// their path below the game folder and for archive members by their name,
// says in JSON which copy is used, and reports a broken script and a run
// without a game once on standard error.
TEST_F(ReferencesTest, MeshcheckChecksEachModelAgainstTheGame) {
    const RunResult r =
        run_tool(MESHCHECK_BIN, {"--json", "--game", base, "--game", mod, base, mod});
    std::string kindsSeen, usedSeen;
    for (std::size_t start = 0; start < r.out.size();) {
        const std::size_t end = r.out.find('\n', start);
        const std::string line = r.out.substr(start, end - start);
        start = end + 1;
        for (const char* kind :
             {"shadowed", "path_too_long", "lod_frames", "lod_base_missing", "skin_shader",
              "skin_surface", "shader_missing", "skin_unnamed", "shader_slash", "shader_backslash",
              "shader_empty", "shader_merged"})
            if (line.find(std::string("\"kind\":\"") + kind + "\"") != std::string::npos)
                kindsSeen += std::string(kind) + " ";
        const std::size_t used = line.find("\"used_member\":");
        if (used != std::string::npos) usedSeen += line.substr(used, line.find('}', used) - used);
    }
    // In the order walked: the ship in PAK1.pk3, the skinned head (its own
    // backslash, empty and merged shader names unreported) and its lower detail,
    // the ship in pak0.pk3, the ship's lower detail, the stray lower detail,
    // the box (its backslash not drawn through a skin), the long path, the
    // leading slash and the mod's ship: every copy of the ship but the
    // mod's loose one told that that one is used.
    EXPECT_EQ(kindsSeen,
              "shadowed skin_shader skin_surface skin_unnamed skin_unnamed shadowed "
              "lod_frames shader_backslash path_too_long shader_slash ")
        << r.out;
    EXPECT_EQ(usedSeen, "") << "the loose copy has no member";
    EXPECT_NE(r.out.find("\"used\":\"" + mod + "/models/ship/ship.md3\""), std::string::npos)
        << r.out;
    EXPECT_EQ(r.err.find("no --game"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("broken.shader:6:"), std::string::npos) << r.err;

    // A name that is no file but the game's is read from the copy used.
    const RunResult byName = run_tool(
        MESHCHECK_BIN, {"--quiet", "--game", base, "--game", mod, "Models/Players/Bob/HEAD.md3"});
    EXPECT_EQ(byName.out.substr(0, byName.out.find(';')),
              base + "/PAK1.pk3:models/players/bob/head.md3: errors")
        << byName.out;
    EXPECT_NE(byName.out.find("head_default.skin line 3"), std::string::npos) << byName.out;
    EXPECT_NE(byName.out.find("error: surface 2 \"h_hat\": no skin names this surface "
                              "(head_default.skin); ioq3 draws it with the default texture"),
              std::string::npos)
        << byName.out;

    // A game folder that is not there would make every reference missing.
    const RunResult typo = run_tool(MESHCHECK_BIN, {"--game", path("nothere"), mod});
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.out, "");
    EXPECT_NE(typo.err.find("nothere"), std::string::npos) << typo.err;

    const RunResult plain = run_tool(MESHCHECK_BIN, {"--json", mod});
    EXPECT_EQ(plain.err.find("no --game"), plain.err.rfind("no --game")) << plain.err;
    EXPECT_NE(plain.err.find("no --game"), std::string::npos) << plain.err;
    EXPECT_EQ(plain.out.find("shadowed"), std::string::npos) << plain.out;
}

// A copy the engine never loads is shown with its problems, but counts
// neither in the tally nor the exit status; one folder given twice is one
// folder, not two that shadow each other.
TEST_F(ReferencesTest, ShadowedCopiesCountForNothing) {
    const std::string game = path("game");
    const ModelBuffer rock = repaired(model_bytes({{"rock", "textures/sky"}}, 1));
    ModelBuffer broken = rock;
    Md3Frame::set_radius(frame_at(broken.data(), 0), 0.0f);
    write_bytes(game + "/pak0.pk3", build_zip({{"models/rock.md3", as_vector(broken), true},
                                               {"textures/sky.tga", text_bytes("tga"), true}})
                                        .bytes);
    write_bytes(game + "/pak1.pk3", build_zip({{"models/rock.md3", as_vector(rock), true}}).bytes);
    const RunResult text = run_tool(MESHCHECK_BIN, {"--game", game, game});
    EXPECT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("pak0.pk3:models/rock.md3: errors"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("loads pak1.pk3:models/rock.md3 instead"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("1 model: 1 ok, 0 with warnings, 0 with errors; meshmend would "
                            "change 0; 1 shadowed copy not counted"),
              std::string::npos)
        << text.out;
    const RunResult twice =
        run_tool(MESHCHECK_BIN, {"--json", "--game", game, "--game", game + "/.", game});
    EXPECT_EQ(twice.status, 0);
    const std::size_t used = twice.out.find("pak1.pk3\",\"member\":\"models/rock.md3\"");
    ASSERT_NE(used, std::string::npos) << twice.out;
    const std::string line = twice.out.substr(used, twice.out.find('\n', used) - used);
    EXPECT_EQ(line.find("shadowed"), std::string::npos) << line;
    EXPECT_NE(twice.out.find("\"health\":\"errors\",\"shadowed\":true"), std::string::npos)
        << twice.out;
}

// Names that come from the game's files, a skin's or an archive member's,
// reach the report and the terminal only escaped: a control byte in them
// could forge lines or command the terminal.
TEST_F(ReferencesTest, NamesFromTheGameAreShownEscaped) {
    const std::string game = path("hostile");
    const ModelBuffer head = repaired(model_bytes({{"h_head", "textures/a"}}, 1));
    write_bytes(game + "/models/players/y/head.md3", as_vector(head));
    write_bytes(game + "/models/players/y/head_\x1b]2;owned\x07.skin", text_bytes("h_x,a\n"));
    write_bytes(game + "/pak0.pk3",
                build_zip({{"models/q\x1b[4m/t.md3", as_vector(head), true}}).bytes);
    write_bytes(game + "/pak1.pk3",
                build_zip({{"models/q\x1b[4m/t.md3", as_vector(head), true}}).bytes);
    const RunResult r = run_tool(MESHCHECK_BIN, {"--game", game, game});
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("no skin names this surface (\"head_\\x1b]2;owned\\x07.skin\")"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("loads \"pak1.pk3:models/q\\x1b[4m/t.md3\" instead"), std::string::npos)
        << r.out;
}

// Scripts that break off anywhere keep the names before the break and name
// the line; none crashes.
TEST(ShaderScripts, BrokenScriptsAreWarningsWithTheirLine) {
    struct Case {
        const char* text;
        std::int64_t line;  // 0: parses
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"a\n{\n}\n\"B c\" { }\n", 0, {"a", "b c"}},
        {"a { }\n}\nb { }\n", 2, {"a"}},
        {"a { }\n/* open\n\nb { }\n", 2, {"a"}},
        {"a { }\n\"b\n{ }\n", 2, {"a"}},
        {"a { } b\n{\n{ }\n", 2, {"a", "b"}},
        {"a//b\n{ }", 0, {"a"}},
        {"", 0, {}},
        {"/", 0, {"/"}},
        // No model names a shader longer than its 63-byte field holds.
        {"\"x\" yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy { } "
         "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz",
         0,
         {"x", "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy"}},
        {"\"a\" \"b", 1, {"a"}},
    };
    for (const Case& c : cases) {
        ShaderNames names;
        read_shader_script(c.text, "scripts/x.shader", names);
        EXPECT_EQ(std::vector<std::string>(names.defined.begin(), names.defined.end()), c.names)
            << c.text;
        ASSERT_EQ(names.problems.size(), c.line == 0 ? 0u : 1u) << c.text;
        if (c.line == 0) continue;
        EXPECT_EQ(names.problems[0].value, c.line) << c.text;
        EXPECT_EQ(names.problems[0].severity, Severity::warning);
        EXPECT_NE(
            names.problems[0].message.find("scripts/x.shader:" + std::to_string(c.line) + ":"),
            std::string::npos)
            << names.problems[0].message;
    }
}

// A skin's findings as one problem each, however many lines repeat them:
// the first line's message as it always was, then how many more lines there
// were; a name of any length costs no more than a name's worth.
TEST_F(ReferencesTest, RepeatedSkinLinesAreOneProblemWithACount) {
    const std::string missing =
        "head_default.skin line 1: shader \"gone/a\": no script defines \"gone/a\" and no "
        "image matches it (.tga .jpg .jpeg .png .pcx .bmp .pvr); ioq3 draws the default texture";
    std::string thousand, twenty, huge = "h_" + std::string(1 << 20, 'x') + ",a\n";
    for (int i = 0; i < 1000; ++i) thousand += "h_head,gone/a\n";
    for (int i = 0; i < 20; ++i) twenty += "u" + std::to_string(i) + ",gone/a\n";
    // A skin that names none of the model's surfaces leaves h_head unnamed.
    const std::string unnamed =
        "no skin names this surface (head_default.skin); ioq3 draws it with the default texture";
    std::string unknown;
    for (int i = 0; i < 16; ++i)
        unknown +=
            (i ? ", \"u" : "\"u") + std::to_string(i) + "\" (line " + std::to_string(i + 1) + ")";
    struct Case {
        std::string skin;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"h_head,gone/a\n", {missing}},
        {thousand, {missing + "; and 999 more lines like it"}},
        {"h_head,gone/a\nh_head,gone/b\n", {missing + "; and 1 more line like it"}},
        {twenty,
         {unnamed, "head_default.skin names surfaces the model does not have, " + unknown +
                       ", and 4 more lines: those lines are ignored"}},
        {huge,
         {unnamed, "head_default.skin names surfaces the model does not have, \"h_" +
                       std::string(kSkinNameBytes - 2, 'x') +
                       "\" (line 1): those lines are ignored"}},
    };
    const EngineProfile& engine = default_engine();
    const std::string game = path("skinned");
    write_bytes(game + "/models/players/bob/head.md3",
                as_vector(model_bytes({{"h_head", "textures/both"}}, 1)));
    write_bytes(game + "/textures/both.tga", text_bytes("tga"));
    for (const Case& c : cases) {
        write_bytes(game + "/models/players/bob/head_default.skin", text_bytes(c.skin));
        const GameFiles files = open_game({game}, engine);
        const std::vector<GamePlace> places = find_places(files, "models/players/bob/head.md3");
        ModelBuffer bytes;
        ASSERT_TRUE(read_place(files, places.at(0), bytes).ok());
        std::vector<std::string> messages;
        for (const Problem& p :
             check_references(bytes, "models/players/bob/head.md3", files, ShaderNames{}, engine))
            messages.push_back(p.message);
        EXPECT_EQ(messages, c.messages) << c.skin.substr(0, 40);
    }
}

// A script of a million quoted tokens on one line (4 MB), and one huge
// token, are read in one pass: a reader that looks past each token for the
// line's end takes minutes.
TEST(ShaderScripts, ReadingIsLinearInItsLength) {
    std::string quoted;
    for (int i = 0; i < 1000000; ++i) quoted += "\"a\" ";
    const std::string huge = std::string(16 << 20, 'x') + " { }";
    // The old reader took 19 s on `quoted`; bench/hostile_inputs.py times
    // such scripts at full size.
    for (const std::string* text : std::vector<const std::string*>{&quoted, &huge}) {
        ShaderNames names;
        read_shader_script(*text, "scripts/x.shader", names);
        EXPECT_TRUE(names.problems.empty());
        EXPECT_EQ(names.defined.size(), text == &quoted ? 1u : 0u);
    }
}

}  // namespace
