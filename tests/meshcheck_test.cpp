// meshcheck: its verdict against what meshmend really does, its findings, its
// JSON and its command line.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "check.hpp"
#include "md3_layout.hpp"
#include "mutator.hpp"
#include "picture.hpp"
#include "repair.hpp"
#include "support.hpp"
#include "text.hpp"
#include "zip_builder.hpp"

using namespace md3;

namespace {

using nlohmann::json;

class Meshcheck : public ScratchDir {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_tool(MESHCHECK_BIN, args); }

    // Every line of a --json run, parsed by a real JSON parser, by path.
    std::map<std::string, json> run_json(const std::vector<std::string>& args, int status) {
        std::vector<std::string> all = {"--json"};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        EXPECT_EQ(r.status, status) << r.err;
        std::map<std::string, json> byPath;
        std::size_t start = 0;
        for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const json line =
                json::parse(r.out.substr(start, end - start));  // throws if it does not parse
            byPath[line.at("path").get<std::string>()] = line;
        }
        EXPECT_EQ(start, r.out.size()) << "output ends with a whole line";
        return byPath;
    }
};

std::uint32_t get_u32_be(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// A surface of `numVerts` vertices in a strip of triangles.
BuiltModel strip_model(int numVerts) {
    std::vector<std::array<float, 3>> corners;
    std::vector<std::array<std::int32_t, 3>> triangles;
    for (int v = 0; v < numVerts; ++v)
        corners.push_back({static_cast<float>(v / 2), static_cast<float>(v % 2), 0});
    for (int v = 0; v + 2 < numVerts; ++v) triangles.push_back({v, v + 1, v + 2});
    return triangle_model(corners, triangles);
}

}  // namespace

// The contract: clean exactly when meshmend leaves the file as it is,
// repairable exactly when it succeeds and changes something, and the other
// verdicts exactly when it refuses, over every kind of model the project can
// make and hundreds of damaged ones, in each of meshmend's normal modes.
TEST_F(Meshcheck, VerdictIsWhatMeshmendDoes) {
    BuiltModel trailing = generated_model(2, 3, 30);
    trailing.trailingBytes = 24;
    BuiltModel degenerate = generated_model(1, 2, 14);
    degenerate.surfaces[0].triangles.push_back({3, 3, 3});
    // Right names and bounds, one surface's normals broken: only broken and
    // rebuild change it.
    ModelBuffer brokenNormals = repaired(build_model(generated_model(2, 2, 40)));
    randomise_normals(brokenNormals, 1, 3);
    const std::vector<ModelBuffer> originals = {read_file(SAMPLE_MODEL),
                                                build_model(generated_model(3, 2, 20)),
                                                build_model(trailing),
                                                build_model(degenerate),
                                                build_model(frames_only_model(3)),
                                                build_model(BuiltModel{}),
                                                build_model(strip_model(1025)),
                                                brokenNormals};
    std::vector<ModelBuffer> models = originals;
    for (const ModelBuffer& m : originals) models.push_back(repaired(m));
    Mutator mutator(20261209);
    for (int n = 0; n < 150; ++n) models.push_back(mutator.mutate(originals[n % originals.size()]));

    fs::create_directory(dir / "models");
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < models.size(); ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "models/m%03zu.md3", i);
        paths.push_back(model_file(name, models[i]));
    }
    // Every model under the default; the models made whole and the first
    // damaged ones under the other modes.
    const std::size_t others = 2 * originals.size() + 40;
    std::map<std::string, int> seen;
    for (const std::string mode : {"rebuild", "weld", "broken", "keep"}) {
        SCOPED_TRACE(mode);
        const std::map<std::string, json> reports =
            run_json({"--normals=" + mode, path("models")}, 2);
        ASSERT_EQ(reports.size(), models.size());
        for (std::size_t i = 0; i < (mode == "rebuild" ? models.size() : others); ++i) {
            SCOPED_TRACE(paths[i]);
            EXPECT_EQ(read_file(paths[i]), models[i]) << "meshcheck changed nothing";
            const std::string copy = path("copy.md3");
            write_file(copy, models[i]);
            const RunResult mend = run_tool(MESHMEND_BIN, {"--normals=" + mode, copy});
            std::string expected = "unreadable";
            if (mend.status == 0)
                expected = read_file(copy) == models[i] ? "clean" : "repairable";
            else if (mend.err.find("Surface has more than 1024") != std::string::npos)
                expected = "refused";
            else if (mend.err.find("Corrupt/invalid model") != std::string::npos)
                expected = "invalid";
            const json& report = reports.at(paths[i]);
            EXPECT_EQ(report.at("verdict"), expected) << report.dump();
            if (expected == "repairable") {  // every byte meshmend changes shows up as some finding
                EXPECT_TRUE(!report.at("model_name").is_null() || !report.at("shaders").empty() ||
                            !report.at("normals").empty() ||
                            report.at("frames").at("changed") > 0 ||
                            report.at("trailing_bytes") > 0)
                    << report.dump();
            }
            ++seen[mode + " " + expected];
        }
    }
    EXPECT_EQ(entries(), 2u) << "no file beside the models and the copy";
    for (const char* mode : {"rebuild", "weld", "broken", "keep"})
        for (const char* verdict : {"clean", "repairable", "refused", "invalid"})
            EXPECT_GT((seen[std::string(mode) + " " + verdict]), 0) << mode << " " << verdict;
}

// Each kind of finding, with the numbers it must carry.
TEST(MeshcheckFindings, EachKindCarriesItsNumbers) {
    CheckWorkspace workspace;
    const auto check = [&](const ModelBuffer& bytes) { return check_model(bytes, workspace); };

    // Names, normals (one vertex unused), frames, trailing bytes.
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}});
    m.name = "a\\b";
    m.surfaces[0].shaders = {"tex\\hull.tga"};
    m.frames[0] = {{0, 0, 0}, {1, 1, 0}, {0.5f, 0.5f, 0}, 2.0f, "f"};
    m.trailingBytes = 40;
    const ModelReport r = check(build_model(m));
    EXPECT_EQ(r.verdict, Verdict::repairable);
    ASSERT_EQ(r.names.size(), 2u);
    EXPECT_EQ(r.names[0].surface, -1);
    EXPECT_EQ(r.names[0].after, "a/b");
    EXPECT_EQ(r.names[1].before, "tex\\hull.tga");
    EXPECT_EQ(r.names[1].after, "tex/hull");
    ASSERT_EQ(r.normals.size(), 1u);
    EXPECT_EQ(r.normals[0].changed, 3);
    EXPECT_EQ(r.normals[0].total, 4);
    EXPECT_EQ(r.normals[0].unusedVertices, 1);
    EXPECT_GT(r.normals[0].medianDegrees, 0.0);
    EXPECT_GE(r.normals[0].worstDegrees, r.normals[0].medianDegrees);
    EXPECT_EQ(r.frames.changed, 1);
    EXPECT_EQ(r.frames.bounds, 5.0);                     // maxs (1, 1, 0) become (5, 5, 5)
    EXPECT_EQ(r.frames.radius, std::sqrt(75.0f) - 2.0);  // the box's whole diagonal
    EXPECT_EQ(r.trailingBytes, 40);

    // The angles, against the plain computation: decode both normals with
    // the library's trigonometry and sort every angle.
    // The angles, against the plain computation: decode both normals with
    // the library's trigonometry and sort every angle. A small model, and one
    // of two surfaces over 120 frames: large enough that a check finds the
    // median by buckets, compares the surfaces on two threads where it can,
    // and counts flat triangles on a third.
    const auto unit = [](std::uint16_t packed) {
        const double polar = (packed & 0xFF) * 2 * M_PI / 255,
                     azimuth = (packed >> 8) * 2 * M_PI / 255;
        return std::array<double, 3>{std::cos(azimuth) * std::sin(polar),
                                     std::sin(azimuth) * std::sin(polar), std::cos(polar)};
    };
    const auto expect_plain_angles = [&](const ModelBuffer& blob, const ModelReport& report) {
        const ModelBuffer blobAfter = repaired(blob);
        const int numSurfaces = Md3Header::numSurfaces(blob.data());
        ASSERT_EQ(report.normals.size(), static_cast<std::size_t>(numSurfaces));
        for (int s = 0; s < numSurfaces; ++s) {
            const std::uint8_t* surface = blob.data() + surface_offset(blob.data(), s);
            std::vector<double> expected;
            for (int j = 0; j < Md3Surface::numFrames(surface); ++j) {
                for (int v = 0; v < Md3Surface::numVerts(surface); ++v) {
                    const auto a = unit(normal_of(blob, s, j, v)),
                               b = unit(normal_of(blobAfter, s, j, v));
                    if (normal_of(blob, s, j, v) != normal_of(blobAfter, s, j, v))
                        expected.push_back(
                            std::acos(
                                std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0)) *
                            180 / M_PI);
                }
            }
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(report.normals[s].changed, static_cast<std::int64_t>(expected.size()));
            EXPECT_NEAR(report.normals[s].worstDegrees, expected.back(), 0.01);
            EXPECT_NEAR(report.normals[s].medianDegrees, expected[expected.size() / 2], 0.01);
        }
    };
    const ModelBuffer small = build_model(generated_model(1, 3, 200));
    expect_plain_angles(small, check(small));
    // A surface of more vertex-frames than the check keeps cosines for: the
    // median's selections make them again.
    const ModelBuffer huge = build_model(generated_model(1, 4300, 1000));
    ASSERT_GT(
        std::int64_t{4300} * Md3Surface::numVerts(huge.data() + surface_offset(huge.data(), 0)),
        std::int64_t{1} << 22);
    expect_plain_angles(huge, check(huge));
    BuiltModel big = generated_model(2, 120, 1000);
    big.surfaces[1].triangles.push_back({5, 5, 6});
    const ModelBuffer blob = build_model(big);
    const ModelReport angles = check(blob);
    expect_plain_angles(blob, angles);
    // The triangle with a repeated corner, found on the thread beside the pass.
    const auto flats =
        std::count_if(angles.problems.begin(), angles.problems.end(), [](const Problem& p) {
            return std::string(kind_name(p.kind)) == "degenerate_triangles" && p.surface == 1 &&
                   p.value == 1;
        });
    EXPECT_EQ(flats, 1);

    // Clean, and the same model with only bytes past its end.
    ModelBuffer clean = repaired(build_model(m));
    EXPECT_EQ(check(clean).verdict, Verdict::clean);
    EXPECT_TRUE(check(clean).normals.empty());
    clean.push_back(0);
    EXPECT_EQ(check(clean).verdict, Verdict::repairable);
    EXPECT_EQ(check(clean).trailingBytes, 1);

    // Refused, with the surface meshmend stops at.
    const ModelReport refused = check(build_model(strip_model(1025)));
    EXPECT_EQ(refused.verdict, Verdict::refused);
    EXPECT_EQ(refused.refusedSurface, 0);
    EXPECT_EQ(refused.refusedVerts, 1025);

    // The counts engines refuse, each at its threshold and none just below
    // it; the format's customary limits, which the engines do not test, are
    // no problem.
    const auto kinds = [&](const BuiltModel& model) {
        std::map<std::string, std::int64_t> values;
        for (const Problem& p : check(build_model(model)).problems)
            values[kind_name(p.kind)] = p.value;
        return values;
    };
    EXPECT_EQ(kinds(strip_model(999)).count("too_many_vertices"), 0u);
    EXPECT_EQ(kinds(strip_model(1000)).at("too_many_vertices"), 1000);
    BuiltModel many = frames_only_model(1025);
    many.numTags = 17;
    EXPECT_EQ(kinds(many), (std::map<std::string, std::int64_t>{}));
    BuiltModel wide = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    wide.surfaces[0].triangles.assign(2000, {0, 1, 2});
    wide.surfaces[0].shaders.assign(257, "s");
    wide.surfaces.resize(33, wide.surfaces[0]);
    const auto wideKinds = kinds(wide);
    EXPECT_EQ(wideKinds.at("too_many_triangles"), 2000);
    EXPECT_EQ(wideKinds.count("surfaces") + wideKinds.count("shaders"), 0u);
    // A repeated corner, and a triangle that is flat in its second frame only.
    BuiltModel flat = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 0, 1}});
    flat.frames.resize(2);
    flat.surfaces[0].frames.push_back({{0, 0, 0, 0}, {64, 0, 0, 0}, {128, 0, 0, 0}});
    EXPECT_EQ(kinds(flat).at("degenerate_triangles"), 2);
}

// Names and paths are bytes: whatever they hold, every line parses, and the
// bytes come back.
TEST_F(Meshcheck, JsonCarriesAnyBytes) {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 5}});
    m.surfaces[0].name = "q\"\\\x01\x7f\xe9\xff";
    const std::string odd = path("caf\xc3\xa9 \x01\"\\.md3");
    write_file(odd, build_model(m));
    EXPECT_EQ(
        run({odd}).out.rfind("\"" + dir.string() + "/caf\xc3\xa9 \\x01\\\"\\.md3\": invalid\n", 0),
        0u)
        << "a path with a control character is quoted in text";
    const std::map<std::string, json> reports = run_json({odd}, 2);
    ASSERT_EQ(reports.size(), 1u);
    const json& r = reports.begin()->second;
    EXPECT_EQ(r.at("rule"), "triangle_index");
    EXPECT_EQ(r.at("reason").get<std::string>(),
              "surface 0 \"q\\\"\\\\\\x01\\x7f\\xe9\\xff\": triangle 1 uses vertex 5 of 3 (corner "
              "2, at 352)");
    EXPECT_EQ(r.at("path").get<std::string>(), odd);
    EXPECT_FALSE(r.contains("path_bytes")) << "valid UTF-8 needs no companion";
    EXPECT_EQ(r.at("reason").get<std::string>(), validate_layout(read_file(odd)).reason);
}

// A name or path that is UTF-8 decodes, in JSON, to the same characters, and
// shows in text as it is; bytes that are not UTF-8 become U+FFFD in JSON,
// with the exact bytes beside them in hex, and \xNN in text.
TEST_F(Meshcheck, NamesKeepTheirCharacters) {
    const std::string fffd = "\xef\xbf\xbd";
    struct Case {
        std::string bytes, decoded, shown;
    };
    const std::vector<Case> cases = {
        {"Zo\xc3\xab", "Zo\xc3\xab", "Zo\xc3\xab"},  // Latin
        {"\xe3\x83\xa2\xe3\x83\x87\xe3\x83\xab", "\xe3\x83\xa2\xe3\x83\x87\xe3\x83\xab",
         "\xe3\x83\xa2\xe3\x83\x87\xe3\x83\xab"},                                  // CJK
        {"ship\xf0\x9f\x9a\x80", "ship\xf0\x9f\x9a\x80", "ship\xf0\x9f\x9a\x80"},  // emoji
        {"caf\xe9", "caf" + fffd, "caf\\xe9"},                                     // Latin-1
        {"a\xc0\xaf"
         "b",
         "a" + fffd + fffd + "b", "a\\xc0\\xafb"},                                // overlong
        {"\xed\xa0\x80", fffd + fffd + fffd, "\\xed\\xa0\\x80"},                  // a surrogate
        {"cut\xe3\x83", "cut" + fffd + fffd, "cut\\xe3\\x83"},                    // cut short
        {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd, "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
        {"tab\tq\"b", "tab\tq\"b", "tab\\x09q\\\"b"},                             // control, quote
        {"c1\xc2\x9b", "c1\xc2\x9b", "c1\\xc2\\x9b"},  // a C1 control, U+009B
    };
    const auto hex = [](const std::string& bytes) {
        std::string text;
        for (const char c : bytes) text += printf_text("%02x", static_cast<unsigned char>(c));
        return text;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        BuiltModel m = strip_model(4);
        m.surfaces[0].name = c.bytes;
        m.surfaces[0].shaders = {"x\\" + c.bytes};
        const std::string file = model_file(hex(c.bytes) + c.bytes + ".md3", build_model(m));
        const std::map<std::string, json> reports = run_json({file}, 1);
        ASSERT_EQ(reports.size(), 1u);
        const json& r = reports.begin()->second;
        const bool exact = c.decoded == c.bytes;
        EXPECT_EQ(r.at("path").get<std::string>(),
                  dir.string() + "/" + hex(c.bytes) + c.decoded + ".md3");
        EXPECT_EQ(r.contains("path_bytes"), !exact);
        if (!exact) {
            EXPECT_EQ(r.at("path_bytes").get<std::string>(), hex(file));
        }
        const json& shader = r.at("shaders").at(0);
        EXPECT_EQ(shader.at("name").get<std::string>(), c.decoded);
        EXPECT_EQ(shader.at("before").get<std::string>(), "x\\" + c.decoded);
        EXPECT_EQ(shader.contains("name_bytes"), !exact);
        if (!exact) {
            EXPECT_EQ(shader.at("before_bytes").get<std::string>(), hex("x\\" + c.bytes));
        }
        const std::string text = run({file}).out;
        EXPECT_NE(text.find("  surface 0 \"" + c.shown + "\": shader: \"x\\" + c.shown +
                            "\" -> \"x/" + c.shown + "\"\n"),
                  std::string::npos);
        // The record's own line shows its path as it is only when nothing in
        // it could break the line or garble a terminal.
        const bool plain = exact && c.shown == c.bytes;
        EXPECT_TRUE(text.starts_with(
            plain ? file + ": " : "\"" + dir.string() + "/" + hex(c.bytes) + c.shown + ".md3\": "))
            << text;
    }
}

// The recipe that hands meshcheck's repairable models to meshmend works on
// names outside ASCII: afterwards every model is clean.
TEST_F(Meshcheck, RepairRecipeTakesUnicodeNames) {
    if (std::system("command -v jq >/dev/null 2>&1") != 0) GTEST_SKIP() << "jq is not installed";
    if (std::string(TOOL_EMULATOR).size() > 0) GTEST_SKIP() << "the recipe runs the host's shell";
    const fs::path models = dir / "\xe3\x83\xa2\xe3\x83\x87\xe3\x83\xab";
    fs::create_directories(models / "Zo\xc3\xab");
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    write_file((models / "Zo\xc3\xab" / "ship\xf0\x9f\x9a\x80.md3").string(), sample);
    write_file((models / "plain.md3").string(), sample);
    write_file((models / "clean.md3").string(), repaired(sample));
    const std::string bin = fs::path(MESHCHECK_BIN).parent_path().string() + ":" +
                            fs::path(MESHMEND_BIN).parent_path().string();
    const std::string recipe =
        "cd '" + dir.string() + "' && PATH='" + bin +
        "':\"$PATH\" && meshcheck --json \xe3\x83\xa2\xe3\x83\x87\xe3\x83\xab/ | jq -r "
        "'select(.verdict == \"repairable\") | .path' | xargs -d '\\n' -n1 meshmend >/dev/null";
    ASSERT_EQ(std::system(recipe.c_str()), 0);
    const RunResult after = run({models.string()});
    EXPECT_EQ(after.status, 0) << after.out;
    EXPECT_NE(after.out.find("3 models: 3 ok, 0 with warnings, 0 with errors; meshmend would "
                             "change 0\n"),
              std::string::npos)
        << after.out;
}

// Short of memory for a large model between two small ones, at any point of
// its check (its load, its copy, the arrays of angles, a second thread), the
// run reports that model for itself and goes on: every model has its record
// and the summary closes the report.
TEST_F(Meshcheck, LowMemoryCostsOnlyTheLargeModel) {
    if (MD3_SANITIZED) GTEST_SKIP() << "the sanitizer's shadow memory needs more address space";
    if (std::string(TOOL_EMULATOR).size() > 0) GTEST_SKIP() << "the emulator needs the room";
    fs::create_directory(dir / "tree");
    const ModelBuffer small = read_file(SAMPLE_MODEL);
    const std::string a = model_file("tree/a.md3", small);
    const std::string b = model_file("tree/b.md3", build_model(generated_model(4, 256, 1000)));
    const std::string c = model_file("tree/c.md3", small);
    // Each worker holds its own model and thread: more workers need more
    // room for the whole tree, and a shortage still costs only the large model.
    for (const auto& [jobs, most] : {std::pair{"1", 48LL}, std::pair{"2", 96LL}}) {
        bool sawShortage = false, sawWhole = false;
        for (long long mib = 6; mib <= most; mib += 3) {
            SCOPED_TRACE(std::string(jobs) + " jobs, " + std::to_string(mib) + " MiB");
            RunOptions limited;
            limited.memoryLimit = mib << 20;
            const RunResult r = run_tool(MESHCHECK_BIN, {"--jobs", jobs, path("tree")}, limited);
            ASSERT_TRUE(r.status == 1 || r.status == 2) << r.status << r.err;
            EXPECT_EQ(r.out.rfind(a + ": errors; meshmend: repairable\n", 0), 0u) << r.out;
            EXPECT_NE(r.out.find("\n" + c + ": errors; meshmend: repairable\n"), std::string::npos);
            EXPECT_NE(r.out.find("3 models: 0 ok, 0 with warnings, "), std::string::npos);
            const bool short_ = r.out.find(b + ": unreadable\n") != std::string::npos;
            EXPECT_EQ(r.status, short_ ? 2 : 1);
            sawShortage |= r.out.find(b + ": unreadable\n  not enough memory to check it\n") !=
                           std::string::npos;
            sawWhole |= !short_;
        }
        EXPECT_TRUE(sawShortage) << "some limit lets the model load but not be checked";
        EXPECT_TRUE(sawWhole) << "the largest limit is enough for the whole tree";
    }
}

// Pictures: one PNG per model under a name of its own, the report and the
// status as without them, and a frame the model lacks is a usage error.
TEST_F(Meshcheck, PicturesLeaveTheReportAsItIs) {
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    model_file("a/ship.md3", sample);
    model_file("b/ship.md3", repaired(sample));
    model_file("b/broken.md3", ModelBuffer(200, 7));
    const RunResult plain = run({path("a"), path("b")});
    const RunResult drawn =
        run({"--pictures", path("shots"), "--frame", "2", path("a"), path("b")});
    EXPECT_EQ(drawn.out, plain.out);
    EXPECT_EQ(drawn.status, plain.status);
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "shots")) {
        files.push_back(entry.path().filename().string());
        const ModelBuffer png = read_file(entry.path().string());
        ASSERT_GE(png.size(), 24u);
        EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
        EXPECT_EQ(get_u32_be(png.data() + 16), 1200u);
        EXPECT_EQ(get_u32_be(png.data() + 20), 450u);
        EXPECT_NE(drawn.err.find(entry.path().string()), std::string::npos) << drawn.err;
    }
    EXPECT_EQ(files.size(), 2u) << "one each for the two ships, none for the broken model";
    EXPECT_NE(drawn.err.find("no picture of " + path("b/broken.md3") + ": it is invalid"),
              std::string::npos);

    const std::string one = path("one.png");
    // A frame the model lacks: no picture, and the status the report gives.
    EXPECT_EQ(run({"--picture", one, "--frame", "3", path("a/ship.md3")}).status,
              run({path("a/ship.md3")}).status);
    EXPECT_FALSE(fs::exists(one));
    EXPECT_EQ(run({"--picture", one, "--pictures", path("shots"), path("a")}).status, 22);
    EXPECT_EQ(run({"--picture", one, path("a/ship.md3"), path("b/ship.md3")}).status, 22);
    EXPECT_EQ(run({"--picture", one, path("b/ship.md3")}).status, 0);
    EXPECT_TRUE(fs::exists(one));
}

// What a picture may replace, and the statuses of a picture not drawn: each
// row names the files it starts from and what must hold of them afterwards.
TEST_F(Meshcheck, PicturesReplaceOnlyPicturesAndSayWhy) {
    const ModelBuffer ship = repaired(read_file(SAMPLE_MODEL));  // status 0 alone
    const std::string model = model_file("ship.md3", ship);
    model_file("ship.png", ship);
    fs::create_directories(dir / "three");
    for (const char* name : {"a.md3", "b.md3", "c.md3"})
        model_file(std::string("three/") + name, ship);
    fs::create_directories(dir / "outside");
    const ModelBuffer precious = {'k', 'e', 'e', 'p'};
    write_file(path("outside/precious.txt"), precious);
    write_file(path("notes.png"), precious);
    write_file(path("old.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0});
    write_file(path("plain"), precious);
    // A game archive that starts as a PNG file does, reached through a link.
    const ModelBuffer archive = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 'P', 'K'};
    fs::create_directories(dir / "game");
    write_file(path("game/pak0.pk3"), archive);
    fs::create_symlink("game/pak0.pk3", dir / "to-game.png");
    // The name a picture of the ship gets in a folder, from a first run.
    const std::string leaf = picture_file_name(model, "");
    const auto folder_with = [&](const std::string& folder,
                                 const std::function<void(fs::path)>& put) {
        fs::create_directories(dir / folder);
        put(dir / folder / leaf);
        return path(folder);
    };
    const std::string linked = folder_with(
        "linked", [](const fs::path& at) { fs::create_symlink("../outside/precious.txt", at); });
    const std::string noted =
        folder_with("noted", [&](const fs::path& at) { write_file(at.string(), precious); });
    const auto is_picture = [](const std::string& file) {
        const ModelBuffer png =
            fs::is_regular_file(fs::symlink_status(file)) ? read_file(file) : ModelBuffer();
        return png.size() > 24 && get_u32_be(png.data() + 16) == 1200;
    };
    struct Row {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string message;  // on standard error
        std::function<bool()> after;
        long long fileSizeLimit = -1;
    };
    const auto untouched = [&](const std::string& file, const ModelBuffer& bytes) {
        return [=] { return read_file(file) == bytes; };
    };
    const Row rows[] = {
        {"an input as the picture",
         {"--picture", path("ship.png"), path("ship.png")},
         22,
         "is not replaced: it is a model being checked",
         untouched(path("ship.png"), ship)},
        {"a file that is no PNG",
         {"--picture", path("notes.png"), model},
         22,
         "is not replaced: it is there and is not a PNG file",
         untouched(path("notes.png"), precious)},
        {"a name that is no PNG's",
         {"--picture", path("ship2.md3"), model},
         22,
         "--picture needs a name ending in .png",
         [&] { return !fs::exists(path("ship2.md3")); }},
        {"two pictures named, only one of which would be written",
         {"--picture", path("y.png"), "--picture", path("z.png"), model},
         22,
         "--picture given twice",
         [&] { return !fs::exists(path("y.png")) && !fs::exists(path("z.png")); }},
        {"a normal mode that is none",
         {"--normals", "bad", model},
         22,
         "--normals takes rebuild, weld, broken or keep, not \"bad\"",
         [] { return true; }},
        {"a crease for a mode that does not weld",
         {"--normals=keep", "--crease=30", model},
         22,
         "--crease goes with --normals=weld or --normals=broken",
         [] { return true; }},
        {"a frame without a picture to draw it in",
         {"--frame", "1", model},
         22,
         "--frame chooses the frame of --picture, --pictures or --report",
         [] { return true; }},
        {"a game's file, through a link",
         {"--game", path("game"), "--picture", path("to-game.png"), model},
         22,
         "is not replaced: it is in a --game folder",
         untouched(path("game/pak0.pk3"), archive)},
        {"a folder of three models",
         {"--picture", path("x.PNG"), path("three")},
         22,
         "--picture draws one model, and " + path("three") + " holds 3",
         [&] { return !fs::exists(path("x.PNG")); }},
        {"an old picture",
         {"--picture", path("old.png"), model},
         0,
         "picture of " + model,
         [&] { return is_picture(path("old.png")); }},
        {"a link in the folder",
         {"--pictures", linked, model},
         0,
         "picture of " + model,
         [&] {
             return read_file(path("outside/precious.txt")) == precious &&
                    is_picture(linked + "/" + leaf);
         }},
        {"a file in the folder that is no PNG",
         {"--pictures", noted, model},
         2,
         "is not replaced: it is there and is not a PNG file",
         untouched(noted + "/" + leaf, precious)},
        {"a frame the model lacks",
         {"--frame", "9", "--pictures", path("shots"), model},
         0,
         "no picture of " + model + ": it has no frame 9",
         [&] { return !fs::exists(path("shots/" + leaf)); }},
        {"a folder that cannot be made",
         {"--pictures", path("plain"), model},
         2,
         std::string(": ") + std::strerror(ENOTDIR) + "\n",
         untouched(path("plain"), precious)},
        {"a file-size limit",
         {"--picture", path("big.png"), model},
         2,
         std::string(": ") + std::strerror(EFBIG) + "\n",
         [&] {
             bool left = fs::exists(path("big.png"));
             for (const fs::directory_entry& e : fs::directory_iterator(dir))
                 left |= e.path().filename().string().starts_with(".big.png");
             return !left;
         },
         4096},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RunOptions options;
        options.fileSizeLimit = row.fileSizeLimit;
        const RunResult r = run_tool(MESHCHECK_BIN, row.args, options);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        if (row.status == 22) EXPECT_EQ(r.out, "") << "refused before any model is checked";
        EXPECT_TRUE(row.after());
    }
}

// Names on standard error are shown as the report shows them: a newline or
// an escape in a model's name never reaches the terminal raw, whether the
// picture is written, missing or fails.
TEST_F(Meshcheck, PictureMessagesEscapeNames) {
    const std::string model = model_file("a\nforged: \x1b[31m.md3", read_file(SAMPLE_MODEL));
    const std::vector<std::vector<std::string>> runs = {
        {"--pictures", path("shots"), model},
        {"--frame", "9", "--pictures", path("shots"), model},
        {"--picture", path("one.png"), model},
    };
    for (const std::vector<std::string>& args : runs) {
        const RunResult r = run(args);
        SCOPED_TRACE(r.err);
        EXPECT_NE(r.err.find("a\\x0aforged: \\x1b[31m.md3"), std::string::npos);
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
        EXPECT_EQ(r.err.find("\nforged"), std::string::npos);
    }
}

// Under --quiet the folder holds the pictures of the models shown, and
// without --frame a picture shows the first frame a problem is found in.
TEST_F(Meshcheck, PicturesOfTheModelsShownAtTheirFirstProblem) {
    fs::create_directories(dir / "m");
    ModelBuffer late = repaired(build_model(generated_model(1, 3, 20)));
    Md3Frame::set_radius(frame_at(late.data(), 2), 0.0f);  // only frame 2 is culled wrong
    const std::string clean = model_file("m/clean.md3", repaired(read_file(SAMPLE_MODEL)));
    const std::string culled = model_file("m/late.md3", late);
    const RunResult quiet = run({"--quiet", "--pictures", path("shots"), path("m")});
    EXPECT_EQ(quiet.status, 1) << quiet.err;
    EXPECT_FALSE(fs::exists(path("shots/" + picture_file_name(clean, ""))));
    const std::string drawn = path("shots/" + picture_file_name(culled, ""));
    ASSERT_TRUE(fs::exists(drawn)) << quiet.err;
    const auto picture_of = [&](const std::string& frame) {
        run({"--frame", frame, "--picture", path("f.png"), culled});
        return read_file(path("f.png"));
    };
    EXPECT_EQ(read_file(drawn), picture_of("2"));
    EXPECT_NE(read_file(drawn), picture_of("0"));
}

TEST_F(Meshcheck, CommandLineAndStatuses) {
    const RunResult none = run({});
    EXPECT_EQ(none.status, 22);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("Usage: meshcheck"), std::string::npos);
    EXPECT_EQ(run({"--frobnicate", "x.md3"}).status, 22);
    const RunResult help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: meshcheck", 0), 0u);
    EXPECT_EQ(run({"--version"}).out, "meshcheck 0.2\n");

    // A tree of clean models, one of them behind a name in capitals, and a
    // link that would loop if it were followed.
    fs::create_directories(dir / "mod" / "models" / "ships");
    const ModelBuffer clean = repaired(read_file(SAMPLE_MODEL));
    model_file("mod/models/ships/a.md3", clean);
    model_file("mod/models/B.MD3", clean);
    model_file("mod/models/notes.txt", {});
    fs::create_directory_symlink("..", dir / "mod" / "models" / "up");
    // A pipe would block a read: it is reported, not opened.
    fs::create_directory(dir / "pipes");
    ASSERT_EQ(mkfifo(path("pipes/pipe.md3").c_str(), 0644), 0);
    const RunResult pipe = run({path("pipes")});
    EXPECT_EQ(pipe.status, 2);
    EXPECT_EQ(pipe.out, path("pipes/pipe.md3") + ": unreadable\n  not a regular file\n");
    const RunResult tree = run({path("mod")});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out, path("mod/models/B.MD3") + ": ok; meshmend: clean\n" +
                            path("mod/models/ships/a.md3") +
                            ": ok; meshmend: clean\n2 models: 2 ok, 0 with warnings, 0 with "
                            "errors; meshmend would change 0\n");
    EXPECT_EQ(run({"--quiet", path("mod")}).out, "");
    // Quiet leaves out only the models without a problem; an error fails
    // the run, for the engine named.
    const std::string big = model_file("big.md3", repaired(build_model(strip_model(1010))));
    const RunResult quiet = run({"--quiet", path("mod"), big});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.out, big +
                             ": errors; meshmend: clean\n  error: surface 0 \"surface\": 1010 "
                             "vertices; ioq3 refuses the model at 1000 or more\n  warning: "
                             "surface 0 \"surface\": normals and seams not analysed: ioq3 "
                             "refuses the surface anyway\n3 models: 2 ok, 0 "
                             "with warnings, 1 with errors; meshmend would change 0\n");
    EXPECT_EQ(run({"--engine", "q3", big}).status, 1);
    EXPECT_EQ(run({"--engine=etlegacy", "--quiet", big}).status, 0);
    const RunResult unknown = run({"--engine", "doom", big});
    EXPECT_EQ(unknown.status, 22);
    EXPECT_NE(unknown.err.find("ioq3, q3, quake3e, etlegacy"), std::string::npos) << unknown.err;
    EXPECT_EQ(run({"--engine"}).status, 22);
    // A warning fails only a strict run; a change only a run that asks
    // about changes, which also shows it under --quiet.
    ModelBuffer warned = clean;
    std::uint8_t* shader =
        Md3Shader::name(shader_at(warned.data() + surface_offset(warned.data(), 0)));
    std::fill_n(shader, kNameSize, 0);
    const std::string warning = model_file("warned.md3", warned);
    EXPECT_EQ(run({warning}).status, 0);
    EXPECT_EQ(run({"--strict", warning}).status, 1);
    ModelBuffer trailing = clean;
    trailing.push_back(0);
    const std::string changed = model_file("changed.md3", trailing);
    EXPECT_EQ(run({"--quiet", changed}).out, "");
    EXPECT_EQ(run({"--quiet", changed}).status, 0);
    const RunResult changes = run({"--quiet", "--changes", changed});
    EXPECT_EQ(changes.status, 1);
    EXPECT_EQ(changes.out, changed +
                               ": ok; meshmend: repairable\n  meshmend would change 1 trailing "
                               "byte:\n    trailing bytes: 1 byte after ofsEnd, dropped\n");

    // One model with errors: status 1, its problems, then what meshmend
    // would change, and no summary for one model.
    const std::string sample = model_file("sample.md3", read_file(SAMPLE_MODEL));
    const RunResult one = run({sample});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out.rfind(sample + ": errors; meshmend: repairable\n  error: ", 0), 0u)
        << one.out;
    EXPECT_NE(one.out.find("\n  meshmend would change the model name, 2 shader names, the normals "
                           "of 2 surfaces and the bounds of 3 frames:\n    model name: "
                           "\"models\\ships\\skiff.md3\" -> \"models/ships/skiff.md3\"\n"),
              std::string::npos)
        << one.out;
    EXPECT_EQ(one.out.find("models:"), std::string::npos);

    // Worse beats repairable; a missing file is unreadable with the system's reason.
    const RunResult missing = run({sample, path("missing.md3")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find(path("missing.md3") + ": unreadable\n  No such file or directory\n"),
              std::string::npos);
    EXPECT_NE(
        missing.out.find(
            "2 models: 0 ok, 0 with warnings, 1 with errors, 1 unreadable; meshmend would change "
            "1\n"),
        std::string::npos);
}

// What a run says besides the models: under --quiet only the problems (what
// meshmend would do only when --changes asks about it); an input without a
// model, and a --game folder that cannot be listed with the system's reason,
// each in one line on standard error.
TEST_F(Meshcheck, QuietShowsProblemsAndInputsAreExplained) {
    const std::string sample = model_file("sample.md3", read_file(SAMPLE_MODEL));
    const std::string huge = model_file("huge.md3", build_model(strip_model(1100)));
    fs::create_directories(dir / "empty" / "models");
    const BuiltZip scripts = build_zip({{"scripts/x.shader", {'{', '}'}}});
    const std::string noModel =
        model_file("scripts.pk3", ModelBuffer(scripts.bytes.begin(), scripts.bytes.end()));
    const std::string changes = "\n  meshmend would change ", refuses = "\n  meshmend would refuse";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> outHas, outLacks;
        std::string errOnce;  // said exactly once on standard error, when set
    };
    const std::vector<Case> cases = {
        {{sample}, 1, {"\n  error: ", changes}, {}, ""},
        {{"--quiet", sample}, 1, {"\n  error: ", "\n  warning: "}, {changes}, ""},
        {{"--quiet", "--changes", sample}, 1, {"\n  error: ", changes}, {}, ""},
        {{"--quiet", huge}, 1, {"\n  error: "}, {refuses}, ""},
        {{"--quiet", "--changes", huge}, 1, {refuses}, {}, ""},
        {{path("empty")},
         0,
         {"0 models"},
         {},
         "meshcheck: no .md3 model in " + path("empty") + "\n"},
        {{"--quiet", sample, noModel}, 1, {}, {}, "meshcheck: no .md3 model in " + noModel + "\n"},
        {{"--game", path("nowhere"), sample},
         2,
         {},
         {},
         "meshcheck: --game " + path("nowhere") + ": No such file or directory\n"},
        {{"--game", sample, sample},
         2,
         {},
         {},
         "meshcheck: --game " + sample + ": Not a directory\n"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) shown += " " + arg;
        SCOPED_TRACE("meshcheck" + shown);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& text : c.outHas)
            EXPECT_NE(r.out.find(text), std::string::npos) << r.out;
        for (const std::string& text : c.outLacks)
            EXPECT_EQ(r.out.find(text), std::string::npos) << r.out;
        if (c.errOnce.empty()) continue;
        const std::size_t at = r.err.find(c.errOnce);
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(c.errOnce, at + 1), std::string::npos) << r.err;
    }
}

// A folder inside a --game folder that cannot be listed is said once, and the
// rest of the game is checked. Root may list any folder: as root the run
// drops to the user nobody.
TEST_F(Meshcheck, UnlistableGameSubfolderIsSaidOnce) {
    fs::create_directories(dir / "game" / "models");
    fs::create_directories(dir / "game" / "locked");
    const std::string model = model_file("game/models/a.md3", repaired(read_file(SAMPLE_MODEL)));
    fs::create_directories(dir / "game" / "textures" / "ships");
    model_file("game/textures/ships/hull.tga", {});
    model_file("game/textures/ships/fin.tga", {});
    fs::permissions(dir / "game" / "locked", fs::perms::none);
    std::string binary = MESHCHECK_BIN;
    std::vector<std::string> args;
    if (geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv") || !std::string(TOOL_EMULATOR).empty())
            GTEST_SKIP() << "root lists every folder, and no setpriv to drop to nobody";
        fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        binary = "/usr/bin/setpriv";
        args = {"--reuid=65534", "--regid=65534", "--clear-groups", MESHCHECK_BIN};
    }
    args.insert(args.end(), {"--game", path("game"), model});
    const RunResult r = run_tool(binary, args);
    fs::permissions(dir / "game" / "locked", fs::perms::owner_all);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, model + ": ok; meshmend: clean\n");
    const std::string said = "meshcheck: warning: " + path("game/locked") +
                             ": Permission denied; left out of the game\n";
    const std::size_t at = r.err.find(said);
    EXPECT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said, at + 1), std::string::npos) << r.err;
}

// What a model costs is its own length, once, not the file's: bytes past
// ofsEnd are counted and never read, and workers checking large members at
// once share one budget rather than each holding its own. Under an address
// space far below what holding everything would take, each report is the one
// an unlimited run of one worker gives.
TEST_F(Meshcheck, LargeInputsCostTheirModelsOnce) {
    if (MD3_SANITIZED) GTEST_SKIP() << "the sanitizer's shadow memory needs more address space";
    if (std::string(TOOL_EMULATOR).size() > 0) GTEST_SKIP() << "the emulator needs the room";
    const std::string padded = model_file("padded.md3", read_file(SAMPLE_MODEL));
    const auto sampleSize = static_cast<long long>(fs::file_size(padded));
    fs::resize_file(padded, std::uintmax_t{1} << 30);  // sparse: costs no disk
    std::vector<BuiltMember> members;
    for (const char* name : {"a.md3", "b.md3"})
        members.push_back({name, std::vector<std::uint8_t>(std::size_t{200} << 20, 0), true});
    const std::string archive = path("large.pk3");
    {
        const BuiltZip zip = build_zip(members);
        members.clear();
        write_file(archive, ModelBuffer(zip.bytes.begin(), zip.bytes.end()));
    }
    struct Case {
        const char* what;
        std::vector<std::string> args;
        long long mib;  // the address space allowed
        std::string expected;
    };
    const std::string invalid = ": invalid\n  not an MD3 model: magic \"\\x00\\x00\\x00\\x00\"\n";
    const std::vector<Case> cases = {
        {"trailing bytes of a loose model",
         {"--jobs", "1", padded},
         64,
         "trailing bytes: " + std::to_string((1LL << 30) - sampleSize) + " bytes"},
        {"two members of 200 MiB on two workers",
         {"--jobs", "2", archive},
         450,
         archive + ":a.md3" + invalid + archive + ":b.md3" + invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunOptions limited;
        limited.memoryLimit = c.mib << 20;
        const RunResult r = run_tool(MESHCHECK_BIN, c.args, limited);
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.out.find("not enough memory"), std::string::npos) << r.out;
    }
}

// Models larger than the workers' shared budget wait for the others and are
// checked alone; the report is the one of one worker, in the same order.
TEST_F(Meshcheck, ManyWorkersWithLargeModelsKeepTheReport) {
    fs::create_directory(dir / "tree");
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    for (int i = 0; i < 12; ++i) {
        const std::string name = model_file("tree/m" + std::to_string(10 + i) + ".md3", sample);
        // Every third model counted as 2 x 300 MiB: past the budget alone.
        if (i % 3 == 0) fs::resize_file(name, std::uintmax_t{300} << 20);
    }
    const RunResult one = run({"--jobs", "1", path("tree")});
    EXPECT_EQ(one.status, 1) << one.err;
    for (const char* jobs : {"2", "6"}) {
        SCOPED_TRACE(jobs);
        const RunResult many = run({"--jobs", jobs, path("tree")});
        EXPECT_EQ(many.out, one.out);
        EXPECT_EQ(many.status, one.status);
    }
}
