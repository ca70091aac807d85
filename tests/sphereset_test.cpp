// sphereset: the radius argument, the frame loop and the files it writes.
#include "radius.hpp"
#include "support.hpp"

using namespace md3;

namespace {

const std::string kUsage =
    "sphereset 1.0:\n"
    " - changes the radius value for each frame of animation\n\n"
    " USAGE:\n"
    "   sphereset <input md3 filename> <output md3 filename> <new radius value>\n\n"
    " EXAMPLE:\n"
    "   sphereset dreadnought.md3 dn.md3 1024\n"
    "    - modifies radius and outputs dn.md3\n\n"
    "   sphereset skiff.md3 same 128\n"
    "    - modifies radius and outputs skiff.md3\n";

class Sphereset : public ScratchDir {
protected:
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        return run_tool(SPHERESET_BIN, args, options);
    }
};

// `bytes` with every frame's radius set to `radius`.
ModelBuffer with_radius(ModelBuffer bytes, float radius) {
    for (int i = 0; i < Md3Header::numFrames(bytes.data()); ++i)
        Md3Frame::set_radius(bytes.data() + frame_offset(bytes.data(), i), radius);
    return bytes;
}

}  // namespace

TEST(ParseRadius, AcceptsOnlyAFiniteNumber) {
    EXPECT_EQ(parse_radius("1e3"), 1000.0);
    EXPECT_EQ(parse_radius("-5"), -5.0);
    EXPECT_EQ(parse_radius(" 12 "), 12.0);
    EXPECT_EQ(parse_radius("0"), 0.0);
    EXPECT_EQ(parse_radius("3.4e38"), 3.4e38);
    for (const char* bad : {"", " ", "abc", "64abc", "nan", "inf", "-inf", "1e39", "1e400", "12 3"})
        EXPECT_FALSE(parse_radius(bad).has_value()) << bad;
}

TEST_F(Sphereset, MissingArgumentsShowUsageOnStandardOutput) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"a.md3"}, {"a.md3", "same"}}) {
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kUsage);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Sphereset, SetsEveryFrameInPlaceWithSame) {
    const ModelBuffer bytes = build_model(frames_only_model(3));
    const std::string file = model_file("a.md3", bytes);
    const RunResult r = run({file, "same", "128", "ignored"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "old radius: 64.000000, new radius: 128.000000\n"
              "old radius: 64.000000, new radius: 128.000000\n"
              "old radius: 64.000000, new radius: 128.000000\n"
              "new radius: " +
                  std::to_string(bytes.size()) + "\ngot here\n");
    EXPECT_EQ(read_file(file), with_radius(bytes, 128.0f));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(Sphereset, WritesTheWholeFileUnvalidated) {
    BuiltModel m = sample_model();
    m.trailingBytes = 33;  // beyond ofsEnd, still written
    ModelBuffer bytes = build_model(m);
    bytes[0] = 'X';  // magic and version are not looked at
    put_i32(bytes.data() + Md3Header::kVersion, 99);
    const std::string file = model_file("in.md3", bytes);
    const RunResult r = run({file, path("out.md3"), "1e3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(path("out.md3")), with_radius(bytes, 1000.0f));
    EXPECT_EQ(read_file(file), bytes);

    EXPECT_EQ(run({file, path("neg.md3"), "-5"}).status, 0);
    EXPECT_EQ(read_file(path("neg.md3")), with_radius(bytes, -5.0f));
}

TEST_F(Sphereset, ModelWithoutFramesIsCopiedUnchanged) {
    for (const int frames : {0, -1}) {
        ModelBuffer bytes = build_model(frames_only_model(0));
        put_i32(bytes.data() + Md3Header::kNumFrames, frames);
        const std::string file = model_file("none.md3", bytes);
        const RunResult r = run({file, path("copy.md3"), "10"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "new radius: 108\ngot here\n");
        EXPECT_EQ(read_file(path("copy.md3")), bytes);
    }
}

TEST_F(Sphereset, SameIsAKeywordOnlyInLowerCase) {
    const ModelBuffer bytes = build_model(frames_only_model(1));
    const std::string file = model_file("a.md3", bytes);
    fs::current_path(dir);
    for (const std::string name : {"Same", "SAME"}) {
        EXPECT_EQ(run({file, name, "7"}).status, 0);
        EXPECT_EQ(read_file(path(name)), with_radius(bytes, 7.0f)) << name;
    }
    EXPECT_EQ(read_file(file), bytes);
}

TEST_F(Sphereset, RefusalsNameTheProblemAndWriteNothing) {
    const ModelBuffer good = build_model(frames_only_model(2));
    const std::string file = model_file("a.md3", good);

    const RunResult typo = run({file, "same", "64abc"});
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.out, "");
    EXPECT_EQ(typo.err, "Invalid radius value: 64abc. Abort.\n");

    const RunResult missing = run({path("missing.md3"), "same", "64"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Unable to open " + path("missing.md3") + ". Abort.\n");

    ModelBuffer framesOutside = good;
    put_i32(framesOutside.data() + Md3Header::kNumFrames, 3);
    ModelBuffer hugeFrames = good;
    put_i32(hugeFrames.data() + Md3Header::kNumFrames, 0x7fffffff);
    ModelBuffer framesBefore = good;
    put_i32(framesBefore.data() + Md3Header::kOfsFrames, -8);
    ModelBuffer truncated = good;
    truncated.resize(107);
    for (const ModelBuffer& bad :
         {ModelBuffer{}, truncated, framesOutside, hugeFrames, framesBefore}) {
        const std::string badFile = model_file("bad.md3", bad);
        const RunResult r = run({badFile, "same", "64"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Corrupt/invalid model: " + badFile + ". Abort.\n");
        EXPECT_EQ(read_file(badFile), bad);
    }
    EXPECT_EQ(read_file(file), good);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(Sphereset, FailedSaveLeavesTheOriginalIntact) {
    const ModelBuffer sample = read_file(SAMPLE_MODEL);
    const std::string file = model_file("skiff.md3", sample);

    const RunResult full = run({file, "same", "64"}, {.fileSizeLimit = 1000});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "Unable to write " + file + ". Abort.\n");
    // The byte count comes once the temporary is open; "got here" never does.
    EXPECT_NE(full.out.find("new radius: " + std::to_string(sample.size()) + "\n"),
              std::string::npos);
    EXPECT_EQ(full.out.find("got here"), std::string::npos);
    EXPECT_EQ(read_file(file), sample);
    EXPECT_EQ(entries(), 1u);

    const std::string nowhere = path("absent/out.md3");
    const RunResult unopened = run({file, nowhere, "64"});
    EXPECT_EQ(unopened.status, 1);
    EXPECT_EQ(unopened.err, "Unable to open " + nowhere + ". Abort.\n");
    EXPECT_EQ(read_file(file), sample);
}

TEST_F(Sphereset, RadiusOverTheHeaderCannotSteerTheLoop) {
    // The frame array starts inside the header, so frame 0's radius lands on
    // numFrames: the loop must still run the four frames it was given.
    ModelBuffer bytes = build_model(frames_only_model(0));
    bytes.resize(400);
    put_i32(bytes.data() + Md3Header::kNumFrames, 4);
    put_i32(bytes.data() + Md3Header::kOfsFrames, Md3Header::kNumFrames - Md3Frame::kRadius);
    const std::string file = model_file("odd.md3", bytes);
    const RunResult r = run({file, path("out.md3"), "1e30"});
    EXPECT_EQ(r.status, 0);
    std::size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 4u + 2u);
}
