// meshmend as users run it: command line, messages, exit statuses and files.
#include <stdio.h>

#include <cstdlib>

#include "repair.hpp"
#include "support.hpp"

using namespace md3;

namespace {

const std::string kBanner = "meshmend 0.2\n";
const std::string kUsage =
    "Fixes a corrupted Quake III Arena MD3 model, including bad shader names and malformed vertex "
    "normals.\nUsage: " MESHMEND_BIN
    " <in> [<out>]\n"
    "If no output filename is specified, it will overwrite the original model.\n\n";
constexpr int kAbort = 255;

class Meshmend : public ScratchDir {
protected:
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        return run_tool(MESHMEND_BIN, args, options);
    }
};

ModelBuffer repaired_in_process(ModelBuffer bytes) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    EXPECT_TRUE(repair_model(bytes, sink));
    std::fclose(sink);
    bytes.resize(static_cast<std::size_t>(Md3Header::ofsEnd(bytes.data())));
    return bytes;
}

ModelBuffer minimal_header() {
    BuiltModel m;
    m.name = "a\\b";
    return build_model(m);
}

}  // namespace

TEST_F(Meshmend, WithoutNamesOrWithThreeShowsUsage) {
    const RunResult none = run({});
    EXPECT_EQ(none.status, 22);
    EXPECT_EQ(none.err, kBanner + kUsage);
    EXPECT_EQ(none.out, "");

    const RunResult three = run({path("a"), path("b"), path("c")});
    EXPECT_EQ(three.status, 22);
    EXPECT_EQ(three.err, kBanner + kUsage);

    // An empty argument only leaves a slot open; with both slots taken it
    // still counts as a third name.
    const RunResult emptyThird = run({path("a"), path("b"), ""});
    EXPECT_EQ(emptyThird.status, 22);
    EXPECT_EQ(emptyThird.err, kBanner + kUsage);
}

TEST_F(Meshmend, EmptyArgumentsLeaveTheirSlotForTheNextName) {
    const RunResult unnamed = run({"", ""});
    EXPECT_EQ(unnamed.status, kAbort);
    EXPECT_EQ(unnamed.err, kBanner + "Unable to open . Abort.\n");

    const std::string in = model_file("in.md3", minimal_header());
    const RunResult r = run({"", in, "", path("out.md3")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("out.md3")));
}

TEST_F(Meshmend, RepairsTheSampleInPlace) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string file = model_file("skiff.md3", sample);
    const RunResult r = run({file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, kBanner);
    EXPECT_EQ(r.out,
              "Fixing model name:     models\\ships\\skiff.md3\n"
              "Done:                  models/ships/skiff.md3\n"
              "Fixing surface:        hull\n"
              "Fixing shader:         textures\\ships\\hull.tga\n"
              "Done:                  textures/ships/hull\n"
              "Fixing frames/normals: 3 frames 12 tris 8 verts\n"
              "Fixing surface:        fin\n"
              "Fixing shader:         textures\\ships\\fin.tga\n"
              "Done:                  textures/ships/fin\n"
              "Fixing frames/normals: 3 frames 4 tris 4 verts\n"
              "Fixing frame bounds:   3 frames\n"
              "Done.\n");
    EXPECT_EQ(read_file(file), repaired_in_process(sample));
    EXPECT_EQ(entries(), 1u);  // no temporary left
}

TEST_F(Meshmend, DerivesTheOutputNameFromTheInput) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string upper = model_file("x.MD3", sample);
    EXPECT_EQ(run({upper}).status, 0);
    EXPECT_EQ(read_file(path("x.md3")), repaired_in_process(sample));
    EXPECT_EQ(read_file(upper), sample);

    const std::string bare = model_file("x", sample);
    EXPECT_EQ(run({bare}).status, 0);
    EXPECT_EQ(read_file(path("xmd3")), repaired_in_process(sample));
}

TEST_F(Meshmend, MinimalHeaderOnlyModelIsRepaired) {
    const std::string file = model_file("min.md3", minimal_header());
    const RunResult r = run({file, path("out.md3")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Fixing model name:     a\\b\nDone:                  a/b\n"
              "Fixing frame bounds:   0 frames\nDone.\n");
    ModelBuffer expected = minimal_header();
    expected[9] = '/';
    EXPECT_EQ(read_file(path("out.md3")), expected);
}

TEST_F(Meshmend, WritesOnlyTheModelsOfsEndBytes) {
    BuiltModel m = sample_model();
    m.trailingBytes = 100;
    const ModelBuffer bytes = build_model(m);
    const RunResult r = run({model_file("long.md3", bytes), path("out.md3")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path("out.md3")).size(), bytes.size() - 100);
}

TEST_F(Meshmend, RefusesWhatIsNoModelAndChangesNothing) {
    ModelBuffer wrongMagic = minimal_header();
    wrongMagic[0] = 'X';
    ModelBuffer v14 = minimal_header(), v16 = minimal_header();
    put_i32(v14.data() + Md3Header::kVersion, 14);
    put_i32(v16.data() + Md3Header::kVersion, 16);
    ModelBuffer badLayout = read_file(SAMPLE_MODEL);
    put_i32(badLayout.data() + Md3Header::kOfsEnd, static_cast<std::int32_t>(badLayout.size() + 1));
    ModelBuffer truncated = minimal_header();
    truncated.pop_back();
    ModelBuffer zeroEnd = read_file(SAMPLE_MODEL);
    put_i32(zeroEnd.data() + Md3Header::kOfsEnd, 0);

    const std::vector<std::pair<std::string, ModelBuffer>> cases = {
        {"empty", {}},           {"107 bytes", truncated}, {"magic", wrongMagic},
        {"version 14", v14},     {"version 16", v16},      {"ofsEnd past the file", badLayout},
        {"ofsEnd zero", zeroEnd}};
    for (const auto& [what, bytes] : cases) {
        const std::string file = model_file("bad.md3", bytes);
        const RunResult r = run({file});
        EXPECT_EQ(r.status, kAbort) << what;
        EXPECT_EQ(r.err, kBanner + "Corrupt/invalid model: " + file + ". Abort.\n") << what;
        EXPECT_EQ(r.out, "") << what;  // refused before the repair pass starts
        EXPECT_EQ(read_file(file), bytes) << what;
    }
    const RunResult missing = run({path("missing.md3")});
    EXPECT_EQ(missing.status, kAbort);
    EXPECT_EQ(missing.err, kBanner + "Unable to open " + path("missing.md3") + ". Abort.\n");
}

TEST_F(Meshmend, TooManyVerticesAbortsAfterThatSurfacesLines) {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.surfaces[0].frames[0].resize(1025);
    const ModelBuffer bytes = build_model(m);
    const std::string file = model_file("big.md3", bytes);
    const RunResult r = run({file}, {.mergeStreams = true});
    EXPECT_EQ(r.status, kAbort);
    // Standard output is flushed first, so a combined stream keeps the order.
    EXPECT_EQ(r.out, kBanner +
                         "Fixing model name:     tri\nDone:                  tri\n"
                         "Fixing surface:        surface\nFixing shader:         shader\n"
                         "Done:                  shader\n"
                         "Fixing frames/normals: 1 frames 1 tris 1025 verts\n"
                         "Surface has more than 1024 vertexes. Abort.\n");
    EXPECT_EQ(read_file(file), bytes);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(Meshmend, FailedSaveLeavesTheOriginalIntact) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string file = model_file("skiff.md3", sample);

    // Past a file-size limit the write fails as on a full disk.
    const RunResult full = run({file}, {.fileSizeLimit = 1000});
    EXPECT_EQ(full.status, kAbort);
    EXPECT_NE(full.err.find("Unable to write " + file + ". Abort.\n"), std::string::npos)
        << full.err;
    EXPECT_EQ(read_file(file), sample);
    EXPECT_EQ(entries(), 1u);

    const std::string nowhere = path("absent/out.md3");
    const RunResult unopened = run({file, nowhere});
    EXPECT_EQ(unopened.status, kAbort);
    EXPECT_EQ(unopened.err, kBanner + "Unable to open " + nowhere + ". Abort.\n");
    EXPECT_EQ(read_file(file), sample);
}

TEST_F(Meshmend, ReplacedOutputKeepsPermissionsAndLinks) {
    const std::string file = model_file("skiff.md3", read_file(SAMPLE_MODEL));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("skiff.md3", dir / "link.md3");
    EXPECT_EQ(run({path("link.md3")}).status, 0);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.md3")));
    EXPECT_EQ(read_file(file), repaired_in_process(read_file(SAMPLE_MODEL)));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(Meshmend, OptionsComeBeforeTheFirstName) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string options =
        "Options, before the first name:\n"
        "  --normals=rebuild  rebuild every vertex normal from the triangles (the default)\n"
        "  --normals=weld     the same, but copies of a vertex along a texture seam share one "
        "normal\n"
        "  --normals=broken   weld only surfaces whose normals are broken or inverted; keep the "
        "rest\n"
        "  --normals=keep     change no normal\n"
        "  --crease=DEGREES   with weld or broken: copies whose normals are further apart stay "
        "apart (45)\n"
        "  --help             this text\n"
        "  --version          the version\n"
        "  --                 ends the options, for a name that begins with --\n";
    const auto refused = [](const std::string& problem) {
        return kBanner + "meshmend: " + problem + "\n" + kUsage;
    };
    // Names are relative to the scratch folder, so that they can begin with "--".
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;  // out "*": the progress lines, not compared here
        const char* written;   // the file that gets the repaired model, if any
    } cases[] = {
        {{"--help"}, 0, kUsage + options, kBanner, nullptr},
        {{"--help", "--bogus"}, 0, kUsage + options, kBanner, nullptr},
        {{"--version"}, 0, "meshmend 0.2\n", kBanner, nullptr},
        {{"--bogus", "in.md3"}, 22, "", refused("unknown option --bogus"), nullptr},
        {{"--normals"},
         22,
         "",
         refused("--normals takes rebuild, weld, broken or keep, not \"\""),
         nullptr},
        {{"--normals=bad", "in.md3"},
         22,
         "",
         refused("--normals takes rebuild, weld, broken or keep, not \"bad\""),
         nullptr},
        {{"--normals=weld", "--crease=180.5", "in.md3"},
         22,
         "",
         refused("--crease takes an angle from 0 to 180 degrees, not \"180.5\""),
         nullptr},
        {{"--normals=weld", "--crease=4x", "in.md3"},
         22,
         "",
         refused("--crease takes an angle from 0 to 180 degrees, not \"4x\""),
         nullptr},
        {{"--crease=30", "in.md3"},
         22,
         "",
         refused("--crease goes with --normals=weld or --normals=broken"),
         nullptr},
        {{"--normals=weld"}, 22, "", kBanner + kUsage, nullptr},
        {{"--normals=keep", "in.md3", "a", "b"}, 22, "", kBanner + kUsage, nullptr},
        {{"--normals=keep", "in.md3", "kept.md3"}, 0, "*", kBanner + "Normals: keep\n", "kept.md3"},
        {{"--crease=7.5", "--normals=weld", "in.md3", "welded.md3"},
         0,
         "*",
         kBanner + "Normals: weld, crease 7.5 degrees\n",
         "welded.md3"},
        {{"--normals=broken", "--crease=30", "in.md3", "mended.md3"},
         0,
         "*",
         kBanner + "Normals: broken surfaces welded, crease 30 degrees\n",
         "mended.md3"},
        {{"--", "--in.md3"}, 0, "*", kBanner, "--in.md3"},
        {{"./--in.md3"}, 0, "*", kBanner, "--in.md3"},
        {{"--normals=rebuild", "--", "--in.md3", "--"}, 0, "*", kBanner, "--"},
        // After the first name, everything is a name.
        {{"in.md3", "--normals=weld"}, 0, "*", kBanner, "--normals=weld"},
        {{"--", "--help"}, 255, "", kBanner + "Unable to open --help. Abort.\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        for (const char* name : {"in.md3", "--in.md3"}) write_file(name, sample);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        if (c.out != "*") {
            EXPECT_EQ(r.out, c.out);
        }
        if (c.written) {
            EXPECT_NE(read_file(c.written), sample);
            if (std::string(c.written) != "--in.md3") fs::remove(c.written);
        }
        EXPECT_EQ(read_file("in.md3"), sample);
        EXPECT_EQ(entries(), 2u);  // nothing else written
    }
    fs::current_path(before);
}
