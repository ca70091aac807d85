// Output fingerprints of both programs on fixed models. The same values must
// come out on every host, little- or big-endian, so a cross-built run of
// these tests proves that it writes what the native build writes.
#include "support.hpp"

namespace {

// FNV-1a, 64 bits: enough to tell outputs apart, and the same everywhere.
std::uint64_t fingerprint(const std::string& text, const ModelBuffer& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

struct Golden {
    const char* name;
    BuiltModel (*make)();
    std::uint64_t meshmend, sphereset;
};

class GoldenOutputs : public ScratchDir {};

}  // namespace

TEST_F(GoldenOutputs, BothProgramsWriteTheKnownBytes) {
    const Golden cases[] = {
        {"sample", sample_model, 0xa1e921cff68a0145, 0xb510f0b90f00aca6},
        {"blob 3x4x40", [] { return generated_model(3, 4, 40); }, 0xcca02fd16634a66b,
         0x8a7b808a9a0cd328},
        {"blob 2x2x300", [] { return generated_model(2, 2, 300); }, 0x4dff96ab58a86655,
         0xaadada9b99caf380},
        {"blob 1x1x1024", [] { return generated_model(1, 1, 1024); }, 0x709c8e86e4e3fd3d,
         0xc361d10e02c9a9b1},
    };
    for (const Golden& g : cases) {
        SCOPED_TRACE(g.name);
        const ModelBuffer bytes = build_model(g.make());
        const std::string in = model_file("in.md3", bytes);

        const RunResult mend = run_tool(MESHMEND_BIN, {in, path("mended.md3")});
        EXPECT_EQ(mend.status, 0);
        const RunResult radius =
            run_tool(SPHERESET_BIN, {path("mended.md3"), path("radius.md3"), "96.5"});
        EXPECT_EQ(radius.status, 0);

        EXPECT_EQ(fingerprint(mend.out + mend.err, read_file(path("mended.md3"))), g.meshmend)
            << std::hex << fingerprint(mend.out + mend.err, read_file(path("mended.md3")));
        EXPECT_EQ(fingerprint(radius.out + radius.err, read_file(path("radius.md3"))), g.sphereset)
            << std::hex << fingerprint(radius.out + radius.err, read_file(path("radius.md3")));
    }
}

TEST_F(GoldenOutputs, EveryNormalModeWritesTheKnownBytes) {
    // Seams in an animated model, welded at two creases, and normals kept.
    const struct {
        const char* option;
        std::uint64_t meshmend;
    } cases[] = {
        {"--normals=weld", 0x68cb7ed02d21b693},
        {"--crease=10", 0x0d593e4b43beaacd},
        {"--normals=keep", 0x3a121812447619ab},
    };
    const ModelBuffer bytes = build_model(with_seams(generated_model(2, 3, 200)));
    const std::string in = model_file("in.md3", bytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        std::vector<std::string> args = {"--normals=weld", c.option, in, path("mended.md3")};
        if (std::string(c.option) == "--normals=keep") args.erase(args.begin());
        const RunResult mend = run_tool(MESHMEND_BIN, args);
        EXPECT_EQ(mend.status, 0);
        const std::uint64_t h = fingerprint(mend.out + mend.err, read_file(path("mended.md3")));
        EXPECT_EQ(h, c.meshmend) << std::hex << h;
    }
    // One surface's normals as a rebuild left them, the other's random:
    // broken welds only the second.
    ModelBuffer mixed = repaired(bytes);
    randomise_normals(mixed, 1, 9);
    const RunResult mend = run_tool(
        MESHMEND_BIN, {"--normals=broken", model_file("mixed.md3", mixed), path("mended.md3")});
    EXPECT_EQ(mend.status, 0);
    const std::uint64_t h = fingerprint(mend.out + mend.err, read_file(path("mended.md3")));
    EXPECT_EQ(h, 0xd9b47fe2f22e54fbu) << std::hex << h;
}
