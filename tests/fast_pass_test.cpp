// The optimised repair pass and packing against the plain computation: the
// same bytes for every input, which is what lets the fast path exist.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "pack_normal.hpp"
#include "reference_repair.hpp"
#include "repair.hpp"
#include "support.hpp"
#include "validate_layout.hpp"

using namespace md3;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// One workspace for every comparison, filled with NaNs and -1s before the
// first: the pass must neither read what it has not written nor carry
// anything over from one model to the next.
RepairWorkspace& reused_workspace() {
    static const std::unique_ptr<RepairWorkspace> workspace = [] {
        auto w = std::make_unique_for_overwrite<RepairWorkspace>();
        std::memset(static_cast<void*>(w.get()), 0xFF, sizeof *w);
        w->watch = nullptr;  // set by its owner, not scratch
        return w;
    }();
    return *workspace;
}

// The modes the pass is compared in: the crease at its default, at both
// ends and at the angle of a cube's corners.
const NormalChoice kChoices[] = {{NormalMode::rebuild},    {NormalMode::weld},
                                 {NormalMode::keep},       {NormalMode::weld, 0.0},
                                 {NormalMode::weld, 90.0}, {NormalMode::weld, 180.0},
                                 {NormalMode::broken},     {NormalMode::broken, 90.0}};

// On every instruction set this processor can run, in every mode.
void expect_same_as_reference(const BuiltModel& model, const char* what) {
    const ModelBuffer bytes = build_model(model);
    for (const NormalChoice& choice : kChoices) {
        SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(choice.mode) << " crease "
                                        << choice.creaseDegrees);
        ModelBuffer plainBytes = bytes;
        const PassOutput plain =
            run_pass([&](std::span<std::uint8_t> m,
                         std::FILE* out) { return reference_repair(m, out, choice); },
                     plainBytes);
        for (const InstructionSet set : usable_instruction_sets()) {
            SCOPED_TRACE(instruction_set_name(set));
            ModelBuffer fastBytes = bytes;
            const PassOutput fast = run_pass(
                [&](std::span<std::uint8_t> m, std::FILE* out) {
                    return repair_model(m, out, reused_workspace(), set, choice);
                },
                fastBytes);
            EXPECT_EQ(fast.ok, plain.ok) << what;
            EXPECT_EQ(fast.lines, plain.lines) << what;
            EXPECT_TRUE(fastBytes == plainBytes) << what;
            EXPECT_NE(fastBytes, bytes) << what;  // the comparison saw real repairs
        }
    }
}

// Random vertices and triangles: open, self-intersecting, with degenerate
// triangles, repeated corners, unused vertices and cancelling normals.
BuiltModel random_model(std::uint32_t seed, int numSurfaces, int numFrames, int numVerts,
                        int numTriangles) {
    std::mt19937 rng(seed);
    BuiltModel m;
    m.name = "random";
    m.frames.resize(static_cast<std::size_t>(numFrames));
    for (int s = 0; s < numSurfaces; ++s) {
        BuiltSurface surface;
        surface.name = "r" + std::to_string(s);
        for (int t = 0; t < numTriangles; ++t) {
            // Mostly nearby vertices, sometimes one repeated.
            const int a = static_cast<int>(rng() % static_cast<unsigned>(numVerts));
            const int b = rng() % 16 == 0 ? a : static_cast<int>((a + 1 + rng() % 5) % numVerts);
            const int c = static_cast<int>((a + 2 + rng() % 7) % numVerts);
            surface.triangles.push_back({a, b, c});
        }
        for (int j = 0; j < numFrames; ++j) {
            std::vector<BuiltVertex> frame;
            for (int v = 0; v < numVerts; ++v) {
                // A coarse grid makes exact zeros and cancellations common.
                const auto coord = [&] {
                    return static_cast<std::int16_t>((static_cast<int>(rng() % 9) - 4) * 64);
                };
                frame.push_back({coord(), coord(), coord(), 0x7777});
            }
            surface.frames.push_back(frame);
        }
        m.surfaces.push_back(surface);
    }
    return m;
}

}  // namespace

TEST(FastPass, WritesTheSameBytesAsThePlainPass) {
    expect_same_as_reference(sample_model(), "sample");
    expect_same_as_reference(generated_model(3, 5, 300), "blobs");
    expect_same_as_reference(generated_model(2, 3, 1024), "full surfaces");
    expect_same_as_reference(random_model(1, 2, 3, 50, 120), "random small");
    expect_same_as_reference(random_model(2, 1, 2, 1024, 3000), "random dense");

    // More triangles than the pass keeps between frames: the batched path.
    BuiltModel many = generated_model(1, 2, 1000);
    const auto triangles = many.surfaces[0].triangles;
    for (int copy = 0; copy < 2; ++copy)
        many.surfaces[0].triangles.insert(many.surfaces[0].triangles.end(), triangles.begin(),
                                          triangles.end());
    ASSERT_GT(many.surfaces[0].triangles.size(), 4096u);
    expect_same_as_reference(many, "many triangles");
    expect_same_as_reference(random_model(3, 2, 2, 300, 5000), "random, many triangles");

    // Vertices used by many triangles, and by none.
    BuiltModel fan = generated_model(1, 2, 100);
    for (int t = 0; t < 40; ++t) fan.surfaces[0].triangles.push_back({0, 1 + t % 10, 2 + t % 10});
    fan.surfaces[0].triangles.push_back({5, 5, 5});
    for (auto& frame : fan.surfaces[0].frames) frame.push_back({1, 1, 1, 0x4242});
    expect_same_as_reference(fan, "fans and unused vertices");

    // Seams, in models whose weld groups are many, large, or lost in a
    // later frame: one frame of a coarse grid puts many vertices at one
    // position, and the animated blobs part some copies after the first
    // frame.
    expect_same_as_reference(with_seams(generated_model(3, 4, 300)), "seams");
    expect_same_as_reference(with_seams(many), "seams, many triangles");
    expect_same_as_reference(random_model(4, 2, 1, 400, 600), "random, one frame");
    BuiltModel parting = with_seams(generated_model(1, 3, 200));
    for (std::size_t v = 0; v < parting.surfaces[0].frames[2].size(); v += 7)
        ++parting.surfaces[0].frames[2][v].z;
    expect_same_as_reference(parting, "copies that part in a later frame");
}

TEST(FastPass, StopsAtAnOversizedSurfaceLikeThePlainPass) {
    BuiltModel m = generated_model(2, 1, 50);
    m.surfaces[1].frames[0].resize(1025);
    ModelBuffer fastBytes = build_model(m), plainBytes = fastBytes;
    const PassOutput fast = run_pass(repair_model, fastBytes);
    const PassOutput plain = run_pass(reference_repair, plainBytes);
    EXPECT_FALSE(fast.ok);
    EXPECT_FALSE(plain.ok);
    EXPECT_EQ(fast.lines, plain.lines);
}

TEST(FastPacking, AgreesWithAtan2AndAcosOnRandomUnitVectors) {
    const PolarTables& tables = polar_tables();
    std::mt19937 rng(77);
    std::normal_distribution<float> gauss;  // only seeds the inputs; the check is exact either way
    double worstAzimuth = 0, worstPolar = 0;
    for (int i = 0; i < 4000000; ++i) {
        float x = gauss(rng), y = gauss(rng), z = gauss(rng);
        const float inverse = 1.0f / std::sqrt(x * x + y * y + z * z);
        x *= inverse;
        y *= inverse;
        z *= inverse;
        ASSERT_EQ(pack_normal_fast(tables, x, y, z), pack_normal(x, y, z))
            << x << " " << y << " " << z;
        const double azimuth =
            std::atan2(static_cast<double>(y), static_cast<double>(x)) * kAngleUnitsPerRadian;
        worstAzimuth = std::max(worstAzimuth, std::fabs(azimuth_estimate(x, y) - azimuth));
        const double polar = std::acos(static_cast<double>(z)) * kAngleUnitsPerRadian;
        worstPolar = std::max(worstPolar, std::fabs(polar_estimate(z) - polar));
    }
    // The guard band only makes the result exact if the estimates are as good as claimed.
    EXPECT_LE(worstAzimuth, kEstimateError);
    EXPECT_LE(worstPolar, kEstimateError);
    RecordProperty("worst_azimuth_error_units", std::to_string(worstAzimuth));
    RecordProperty("worst_polar_error_units", std::to_string(worstPolar));
}

TEST(FastPacking, AgreesOnAxesAndUnitBoundaries) {
    const PolarTables& tables = polar_tables();
    std::vector<std::array<float, 3>> cases = {
        {1, 0, 0},       {-1, 0, 0},      {0, 1, 0},        {0, -1, 0},      {0, 0, 1},
        {0, 0, -1},      {-0.0f, 0, -1},  {1e-30f, 1, 0},   {-1, 1e-30f, 0}, {-1, -1e-30f, 0},
        {1, -1e-30f, 0}, {0.6f, 0, 0.8f}, {0, -0.6f, -0.8f}};
    // Directions on and next to every azimuth and polar boundary.
    for (int unit = -128; unit <= 128; ++unit) {
        const double angle = unit / kAngleUnitsPerRadian;
        for (const double nudge : {-1e-7, -1e-9, 0.0, 1e-9, 1e-7}) {
            const float c = static_cast<float>(std::cos(angle + nudge)),
                        s = static_cast<float>(std::sin(angle + nudge));
            cases.push_back({c, s, 0});
            cases.push_back({0.5f * c, 0.5f * s, 0.8660254f});
            if (unit >= 0 && unit <= 128) cases.push_back({s, 0, c});  // polar angle `angle`
        }
    }
    for (const auto& [x, y, z] : cases)
        EXPECT_EQ(pack_normal_fast(tables, x, y, z), pack_normal(x, y, z))
            << x << " " << y << " " << z;
    // Every threshold and its neighbours on both sides.
    for (int p = 1; p < 128; ++p) {
        const float t = tables.threshold[static_cast<std::size_t>(p)];
        for (const float z : {std::nextafter(t, -2.0f), t, std::nextafter(t, 2.0f)})
            EXPECT_EQ(polar_units(tables, z), reference_polar_units(z)) << z;
    }
}
