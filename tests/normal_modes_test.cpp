// The repair pass's normal modes on shapes whose right normals are known:
// what weld joins and what it keeps apart, and what each mode leaves alone.
#include <cmath>
#include <set>

#include "check.hpp"
#include "normal_grade.hpp"
#include "repair.hpp"
#include "support.hpp"

using namespace md3;

namespace {

constexpr double kPi = 3.14159265358979323846;
// A packed normal truncates both of its angles to 2 pi / 255 steps: it lies
// within about two degrees of the vector it was packed from.
constexpr double kQuantisation = 2.0;

const NormalChoice kRebuild{NormalMode::rebuild}, kWeld{NormalMode::weld}, kKeep{NormalMode::keep},
    kBroken{NormalMode::broken};

ModelBuffer mended(const BuiltModel& m, const NormalChoice& choice) {
    ModelBuffer bytes = build_model(m);
    EXPECT_TRUE(repair_model(bytes, nullptr, best_instruction_set(), choice));
    return bytes;
}

BuiltVertex vertex_at(double x, double y, double z) {
    return {static_cast<std::int16_t>(std::lround(x * 64)),
            static_cast<std::int16_t>(std::lround(y * 64)),
            static_cast<std::int16_t>(std::lround(z * 64)), 0xBEEF};
}

double angle_to(std::uint16_t packed, double x, double y, double z) {
    float n[3];
    decode_normal(packed, n);
    const double c = (n[0] * x + n[1] * y + n[2] * z) / std::sqrt(x * x + y * y + z * z);
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / kPi;
}

// An open cylinder of radius 32 around the z axis, `rings` rings of
// `segments` vertices, its triangles facing out. With `seam`, the first
// column is stored twice, as exporters store a texture seam: vertex
// (ring, segments) sits where (ring, 0) does. Frame j stretches it along z
// and moves it along x, which leaves every normal as it is.
struct Cylinder {
    int segments, rings;
    bool seam;
    int columns() const { return seam ? segments + 1 : segments; }
    int index(int ring, int u) const { return ring * columns() + (seam ? u : u % segments); }
    BuiltModel model(int numFrames) const {
        BuiltModel m;
        m.name = "cylinder";
        m.frames.resize(static_cast<std::size_t>(numFrames));
        BuiltSurface s;
        s.name = "side";
        for (int j = 0; j < numFrames; ++j) {
            std::vector<BuiltVertex> frame;
            for (int r = 0; r < rings; ++r)
                for (int u = 0; u < columns(); ++u) {
                    const double a = 2 * kPi * (u % segments) / segments;
                    frame.push_back(vertex_at(32 * std::cos(a) + 4 * j, 32 * std::sin(a),
                                              r * 16.0 * (1 + 0.5 * j)));
                }
            s.frames.push_back(frame);
        }
        for (int r = 0; r + 1 < rings; ++r)
            for (int u = 0; u < segments; ++u) {
                const int bl = index(r, u), br = index(r, u + 1), tl = index(r + 1, u),
                          tr = index(r + 1, u + 1);
                s.triangles.push_back({bl, tr, br});
                s.triangles.push_back({bl, tl, tr});
            }
        m.surfaces.push_back(s);
        return m;
    }
};

// Two quads hinged along the x axis, each with its own copies of the hinge's
// two vertices (0-1 and 4-5); in frame j the second is bent by bends[j]
// degrees away from the first.
BuiltModel hinge(const std::vector<double>& bends) {
    BuiltModel m;
    m.name = "hinge";
    m.frames.resize(bends.size());
    BuiltSurface s;
    s.name = "leaves";
    for (const double bend : bends) {
        const double a = bend * kPi / 180;
        s.frames.push_back({vertex_at(0, 0, 0), vertex_at(16, 0, 0), vertex_at(16, 16, 0),
                            vertex_at(0, 16, 0), vertex_at(0, 0, 0), vertex_at(16, 0, 0),
                            vertex_at(16, -16 * std::cos(a), 16 * std::sin(a)),
                            vertex_at(0, -16 * std::cos(a), 16 * std::sin(a))});
    }
    s.triangles = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}};
    m.surfaces.push_back(s);
    return m;
}

// A cube of side 32 whose faces have their own four vertices each.
BuiltModel split_cube() {
    BuiltModel m = frames_only_model(1);
    BuiltSurface s;
    s.name = "cube";
    s.frames.resize(1);
    for (int axis = 0; axis < 3; ++axis)
        for (const int side : {0, 1}) {
            const int first = static_cast<int>(s.frames[0].size());
            for (const auto& [p, q] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
                double c[3];
                c[axis] = side * 32;
                c[(axis + 1) % 3] = (side ? p : q) * 32;
                c[(axis + 2) % 3] = (side ? q : p) * 32;
                s.frames[0].push_back(vertex_at(c[0], c[1], c[2]));
            }
            s.triangles.push_back({first, first + 1, first + 2});
            s.triangles.push_back({first, first + 2, first + 3});
        }
    m.surfaces.push_back(s);
    return m;
}

// Two quads at one position, facing away from each other.
BuiltModel back_to_back() {
    BuiltModel m = frames_only_model(1);
    BuiltSurface s;
    s.name = "sheet";
    s.frames = {{vertex_at(0, 0, 0), vertex_at(16, 0, 0), vertex_at(16, 16, 0), vertex_at(0, 16, 0),
                 vertex_at(0, 0, 0), vertex_at(16, 0, 0), vertex_at(16, 16, 0),
                 vertex_at(0, 16, 0)}};
    s.triangles = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6}};
    m.surfaces.push_back(s);
    return m;
}

// Every byte offset of a vertex normal in the model.
std::set<std::size_t> normal_bytes(const ModelBuffer& model) {
    std::set<std::size_t> at;
    for_each_surface(model.data(), [&](const std::uint8_t* surface, std::int32_t) {
        const std::int64_t count =
            std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
        const std::size_t first =
            static_cast<std::size_t>(vertex_frame(surface, 0) - model.data()) + 6;
        for (std::int64_t v = 0; v < count; ++v)
            for (const std::size_t b : {0, 1}) at.insert(first + v * Md3Vertex::kSize + b);
        return true;
    });
    return at;
}

}  // namespace

TEST(NormalModes, WeldClosesATextureSeamAndRebuildLeavesIt) {
    const Cylinder seamed{16, 4, true}, whole{16, 4, false};
    const int frames = 3;
    const ModelBuffer weld = mended(seamed.model(frames), kWeld);
    const ModelBuffer rebuild = mended(seamed.model(frames), kRebuild);
    const ModelBuffer reference = mended(whole.model(frames), kRebuild);
    for (int j = 0; j < frames; ++j)
        for (int r = 0; r < seamed.rings; ++r) {
            SCOPED_TRACE(testing::Message() << "frame " << j << " ring " << r);
            const int first = seamed.index(r, 0), last = seamed.index(r, seamed.segments);
            // One normal for the pair, the one the cylinder has without a seam.
            EXPECT_EQ(normal_of(weld, 0, j, first), normal_of(weld, 0, j, last));
            EXPECT_LE(normal_angle(normal_of(weld, 0, j, first),
                                   normal_of(reference, 0, j, whole.index(r, 0))),
                      kQuantisation);
            // The inner rings' triangles sit evenly around each vertex: there
            // the normal is the cylinder's own, straight out along x.
            if (r > 0 && r + 1 < seamed.rings) {
                EXPECT_LE(angle_to(normal_of(weld, 0, j, first), 1, 0, 0), kQuantisation);
            }
            // Each copy rebuilt alone leans half a segment (11.25 degrees) its way.
            EXPECT_GT(normal_angle(normal_of(rebuild, 0, j, first), normal_of(rebuild, 0, j, last)),
                      15.0);
            // Away from the seam, weld writes what rebuild writes.
            for (int u = 1; u < seamed.segments; ++u)
                EXPECT_EQ(normal_of(weld, 0, j, seamed.index(r, u)),
                          normal_of(rebuild, 0, j, seamed.index(r, u)));
        }
}

TEST(NormalModes, WeldKeepsWhatIsMeantToBeSharp) {
    // A cube's split corners are 90 degrees apart, back-to-back faces 180:
    // weld leaves both exactly as rebuild does, at the default crease and
    // just under the cube's angle.
    for (const double crease : {kDefaultCreaseDegrees, 89.0}) {
        SCOPED_TRACE(crease);
        const NormalChoice weld{NormalMode::weld, crease};
        EXPECT_EQ(mended(split_cube(), weld), mended(split_cube(), kRebuild));
        const ModelBuffer sheet = mended(back_to_back(), weld);
        EXPECT_EQ(sheet, mended(back_to_back(), kRebuild));
        for (int v = 0; v < 4; ++v) {
            EXPECT_LE(angle_to(normal_of(sheet, 0, 0, v), 0, 0, -1), kQuantisation);
            EXPECT_LE(angle_to(normal_of(sheet, 0, 0, v + 4), 0, 0, 1), kQuantisation);
        }
    }
    // Past the cube's angle its corners weld: the crease is what held them.
    EXPECT_NE(mended(split_cube(), {NormalMode::weld, 91.0}), mended(split_cube(), kRebuild));
}

TEST(NormalModes, TheFirstFrameDecidesWhichCopiesWeldInEveryFrame) {
    // Bent 20 degrees in the first frame, the hinge's copies weld, and stay
    // welded when later frames bend it far past the crease; bent 120 degrees
    // first, they stay apart when later frames flatten it. Each hinge
    // vertex's two copies: 0 and 4, 1 and 5.
    const struct {
        std::vector<double> bends;
        bool welded;
    } cases[] = {{{20, 120, 170}, true}, {{120, 30, 5}, false}};
    for (const auto& c : cases) {
        const ModelBuffer weld = mended(hinge(c.bends), kWeld);
        for (std::size_t j = 0; j < c.bends.size(); ++j)
            for (const int v : {0, 1}) {
                SCOPED_TRACE(testing::Message() << "bends " << c.bends[0] << " frame " << j);
                const std::uint16_t a = normal_of(weld, 0, static_cast<int>(j), v),
                                    b = normal_of(weld, 0, static_cast<int>(j), v + 4);
                if (c.welded) {
                    EXPECT_EQ(a, b);
                } else {
                    EXPECT_GE(normal_angle(a, b), c.bends[j] - kQuantisation);
                }
            }
    }
}

TEST(NormalModes, EachModeWritesOnlyTheNormalsItMay) {
    // Against rebuild, every mode differs at most in normal bytes, and keep
    // writes none of them; the progress lines are the same in every mode.
    BuiltModel seamed = Cylinder{12, 3, true}.model(2);
    seamed.surfaces.push_back(generated_model(1, 2, 200).surfaces[0]);
    seamed.name = "models\\seamed";
    seamed.surfaces[0].shaders = {"textures\\side.tga"};
    for (const BuiltModel& m : {sample_model(), seamed, generated_model(2, 3, 100)}) {
        const ModelBuffer original = build_model(m);
        ModelBuffer rebuilt = original;
        const PassOutput expected = run_pass(repair_model, rebuilt);
        const std::set<std::size_t> normals = normal_bytes(original);
        for (const NormalChoice& choice :
             {kWeld, kKeep, kBroken, NormalChoice{NormalMode::weld, 180.0}}) {
            SCOPED_TRACE(m.name + " mode " + std::to_string(static_cast<int>(choice.mode)));
            ModelBuffer out = original;
            const PassOutput lines = run_pass(
                [&](std::span<std::uint8_t> b, std::FILE* f) {
                    return repair_model(b, f, best_instruction_set(), choice);
                },
                out);
            EXPECT_EQ(lines.lines, expected.lines);
            ASSERT_EQ(out.size(), original.size());
            std::size_t differ = 0;
            for (std::size_t i = 0; i < out.size(); ++i) {
                if (!normals.count(i)) {
                    EXPECT_EQ(out[i], rebuilt[i]) << "byte " << i;
                } else if (choice.mode == NormalMode::keep) {
                    EXPECT_EQ(out[i], original[i]) << "byte " << i;
                }
                differ += out[i] != rebuilt[i];
            }
            // The seamed cylinder shows that weld changed something.
            if (m.name == seamed.name && choice.mode == NormalMode::weld) {
                EXPECT_GT(differ, 0u);
            }
        }
    }
}

// Broken rewrites the surfaces whose normals are unrelated to the geometry or
// turned round, as weld would, and keeps every other surface's normals,
// even those a rebuild would change (here by a step of the polar angle).
TEST(NormalModes, BrokenMendsOnlyTheSurfacesWhoseNormalsAreWrong) {
    const ModelBuffer healthy = repaired(build_model(generated_model(4, 3, 120)));
    ModelBuffer model = healthy;
    each_vertex(model, 0, [](std::uint8_t* v) {
        const std::uint16_t n = Md3Vertex::normal(v);
        Md3Vertex::set_normal(v, static_cast<std::uint16_t>((n & 0xFF00) | ((n + 1) & 0xFF)));
    });
    randomise_normals(model, 1, 5);
    negate_normals(model, 3);
    const std::set<std::size_t> normals = normal_bytes(model);
    ModelBuffer broken = model, welded = model, rebuilt = model;
    ASSERT_TRUE(repair_model(broken, nullptr, best_instruction_set(), kBroken));
    ASSERT_TRUE(repair_model(welded, nullptr, best_instruction_set(), kWeld));
    ASSERT_TRUE(repair_model(rebuilt, nullptr));
    for (int s = 0; s < 4; ++s) {
        SCOPED_TRACE("surface " + std::to_string(s));
        const bool mended = s == 1 || s == 3;
        std::size_t rebuildChanges = 0;
        each_vertex(model, s, [&](std::uint8_t* v) {
            const std::size_t at = static_cast<std::size_t>(v - model.data()) + Md3Vertex::kNormal;
            ASSERT_TRUE(normals.count(at));
            const ModelBuffer& expected = mended ? welded : model;
            EXPECT_EQ(broken[at], expected[at]);
            EXPECT_EQ(broken[at + 1], expected[at + 1]);
            rebuildChanges += rebuilt[at] != model[at] || rebuilt[at + 1] != model[at + 1];
        });
        if (s == 0) {
            EXPECT_GT(rebuildChanges, 0u) << "a rebuild would change the kept surface";
        }
    }
}

// The grade at each threshold, from either side: what meshcheck reports and
// what broken rebuilds turn on exactly these comparisons.
TEST(NormalGrade, GradesAtItsThresholds) {
    using G = NormalGrade;
    const struct {
        std::int64_t total, farOff, inward, near;
        NormalGrade grade;
    } cases[] = {
        {0, 0, 0, 0, G::healthy},       {100, 65, 0, 50, G::broken},
        {100, 64, 0, 50, G::healthy},   {100, 65, 0, 51, G::healthy},
        {101, 66, 0, 50, G::broken},    {101, 66, 0, 51, G::healthy},
        {100, 100, 75, 0, G::broken},   {100, 100, 76, 0, G::inverted},
        {100, 0, 76, 100, G::inverted}, {4, 3, 3, 2, G::broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.total << " " << c.farOff << " " << c.inward << " " << c.near);
        EXPECT_EQ(grade_normals({c.total, c.farOff, c.inward, c.near}), c.grade);
    }
    // The cosines tallied against: 45 and 60 degrees, and 90 for inward.
    NormalTally tally;
    for (const float cosine : {kFarOffCosine, std::nextafter(kFarOffCosine, 0.0f), 0.5f,
                               std::nextafter(0.5f, 1.0f), 0.0f, -0.0001f})
        tally_normal(tally, cosine);
    EXPECT_EQ(tally.total, 6);
    EXPECT_EQ(tally.farOff, 5);
    EXPECT_EQ(tally.near, 3);
    EXPECT_EQ(tally.inward, 1);
}
