// meshcheck's problems: each kind on a model that has exactly that problem,
// at each engine's limits, and none of the geometry kinds on anything
// meshmend writes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "check.hpp"
#include "engines.hpp"
#include "mutator.hpp"
#include "normal_causes.hpp"
#include "pack_normal.hpp"
#include "repair.hpp"
#include "report.hpp"
#include "support.hpp"
#include "text.hpp"
#include "validate_layout.hpp"

using namespace md3;

namespace {

std::vector<Problem> problems_of(const ModelBuffer& bytes,
                                 const EngineProfile& engine = default_engine()) {
    CheckWorkspace workspace;
    return check_model(bytes, workspace, engine).problems;
}

bool geometry_kind(const std::string& kind) {
    return kind.starts_with("culling_") || kind.starts_with("normals_") || kind == "non_finite";
}

const EngineProfile& engine(const char* name) {
    const EngineProfile* found = find_engine(name);
    EXPECT_NE(found, nullptr) << name;
    return found ? *found : default_engine();
}

std::uint8_t* surface_at(ModelBuffer& model, int s) {
    return model.data() + surface_offset(model.data(), s);
}

// The damage the engine shows (normals in random directions, normals turned
// round: see support.hpp), and one frame's sphere or box made too small by
// one position step.
// The farthest vertex of frame i from its centre, over every surface.
double farthest(const ModelBuffer& model, int i) {
    const std::uint8_t* frame = frame_at(model.data(), i);
    double most = 0;
    for_each_surface(model.data(), [&](const std::uint8_t* surface, std::int32_t) {
        for (std::int32_t v = 0; v < Md3Surface::numVerts(surface); ++v) {
            const std::uint8_t* vertex = vertex_frame(surface, i) + v * Md3Vertex::kSize;
            double squared = 0;
            for (int k = 0; k < 3; ++k) {
                const double d =
                    Md3Vertex::position(vertex, k) / 64.0 - Md3Frame::localOrigin(frame, k);
                squared += d * d;
            }
            most = std::max(most, std::sqrt(squared));
        }
        return true;
    });
    return most;
}

// Sets frame i's radius to the float nearest `radius` on the side `up`.
void set_radius(ModelBuffer& model, int i, double radius, bool up) {
    float r = static_cast<float>(radius);
    if (up && r < radius) r = std::nextafter(r, INFINITY);
    if (!up && r > radius) r = std::nextafter(r, -INFINITY);
    Md3Frame::set_radius(frame_at(model.data(), i), r);
}

void shrink_sphere(ModelBuffer& model, int i) {
    set_radius(model, i, farthest(model, i) - 1.0 / 64, false);
}

// The frame's box one step of 1/64 short of its vertices on +x.
void shrink_box(ModelBuffer& model, int i) {
    std::uint8_t* frame = frame_at(model.data(), i);
    Md3Frame::set_maxs(frame, 0, Md3Frame::maxs(frame, 0) - 1.0f / 64);
}

void set_shader(ModelBuffer& model, int s, const std::string& name) {
    std::uint8_t* field = Md3Shader::name(shader_at(surface_at(model, s)));
    std::memset(field, 0, kNameSize);
    std::memcpy(field, name.data(), std::min(name.size(), kNameSize));
}

// A flat sheet of `numVerts` vertices on a grid, 1/4 unit apart, and
// `numTriangles` triangles over its cells (repeating cells when there are
// more triangles than the cells hold), all wound alike. Its normals and
// bounds are as meshmend writes them, also where meshmend refuses the model
// for its size: every normal of a flat sheet is the same.
ModelBuffer sheet_model(int numVerts, int numTriangles) {
    constexpr int kWidth = 10;
    BuiltModel m;
    m.name = "sheet";
    m.frames.resize(1);
    BuiltSurface s;
    s.name = "sheet";
    std::vector<BuiltVertex> frame;
    for (int v = 0; v < numVerts; ++v)
        frame.push_back({static_cast<std::int16_t>(16 * (v % kWidth)),
                         static_cast<std::int16_t>(16 * (v / kWidth)), 0, 0});
    s.frames.push_back(frame);
    const int cells = (kWidth - 1) * (numVerts / kWidth - 1);
    for (int t = 0; t < numTriangles; ++t) {
        const int cell = t / 2 % cells, x = cell % (kWidth - 1), y = cell / (kWidth - 1);
        const int a = y * kWidth + x, b = a + 1, c = a + kWidth, d = c + 1;
        s.triangles.push_back(t % 2 == 0 ? std::array{a, b, c} : std::array{b, d, c});
    }
    m.surfaces.push_back(s);
    if (numVerts <= kMaxSurfaceVerts) return repaired(build_model(m));
    // Too large for meshmend: the normal it gives a small sheet wound alike,
    // and its bounds (the box, its centre, its whole diagonal).
    const ModelBuffer small = sheet_model(2 * kWidth, 2);
    for (BuiltVertex& v : m.surfaces[0].frames[0]) v.normal = normal_of(small, 0, 0, 0);
    BuiltFrame& f = m.frames[0];
    f.maxs = {(kWidth - 1) / 4.0f, static_cast<float>((numVerts - 1) / kWidth) / 4.0f, 0};
    for (int k = 0; k < 3; ++k)
        f.localOrigin[static_cast<std::size_t>(k)] = f.maxs[static_cast<std::size_t>(k)] / 2;
    f.radius = std::sqrt(f.maxs[0] * f.maxs[0] + f.maxs[1] * f.maxs[1]);
    return build_model(m);
}

// A roof of two faces meeting at a right angle along a ridge whose vertices
// are stored twice, once for each face, as an exporter splits them at a
// texture seam; each copy carries the smooth normal of the ridge, so the
// engine shades it without a seam. meshmend gives each copy its own face's.
ModelBuffer roof_model() {
    BuiltModel m = triangle_model(
        {{-1, 0, 0}, {0, 0, 1}, {0, 4, 1}, {-1, 4, 0}, {0, 0, 1}, {1, 0, 0}, {1, 4, 0}, {0, 4, 1}},
        {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}});
    ModelBuffer model = repaired(build_model(m));
    float left[3], right[3];
    decode_normal(normal_of(model, 0, 0, 0), left);
    decode_normal(normal_of(model, 0, 0, 5), right);
    const std::uint16_t smooth =
        pack_normal(left[0] + right[0], left[1] + right[1], left[2] + right[2]);
    std::uint8_t* vertices = vertex_frame(surface_at(model, 0), 0);
    for (const int v : {1, 2, 4, 7}) Md3Vertex::set_normal(vertices + v * Md3Vertex::kSize, smooth);
    return model;
}

// A healthy animated model: meshmend's output of a generated one.
ModelBuffer healthy(int numSurfaces, int numFrames, int numVerts) {
    ModelBuffer model = repaired(build_model(generated_model(numSurfaces, numFrames, numVerts)));
    // The generator's shader names share one stem apart from the digit.
    for (int s = 0; s < numSurfaces; ++s) set_shader(model, s, "blob" + std::to_string(s));
    return model;
}

}  // namespace

// One model per kind with exactly that problem, and each engine at its
// limits; the kind, severity, surface and figures it carries; and none of
// the geometry kinds once meshmend has written the model (where it can).
TEST(Problems, EachKindOnAModelThatHasExactlyIt) {
    struct Case {
        const char* what;
        std::function<ModelBuffer()> make;
        const char* engine;
        const char* kind;  // "" for a model with no problem
        Severity severity;
        std::int32_t surface;
        std::function<void(const Problem&)> figures;
    };
    const auto none = [](const Problem&) {};
    const auto limits = [](std::int64_t value, std::int64_t limit) {
        return [=](const Problem& p) {
            EXPECT_EQ(p.value, value);
            EXPECT_EQ(p.limit, limit);
        };
    };
    const auto frames = [](std::int64_t count, std::int64_t first, double worst) {
        return [=](const Problem& p) {
            EXPECT_EQ(p.frames, count);
            EXPECT_EQ(p.firstFrame, first);
            EXPECT_NEAR(p.worst, worst, 1e-4);
        };
    };
    const auto normals = [](double share, double median) {
        return [=](const Problem& p) {
            EXPECT_NEAR(p.share, share, 0.15);
            EXPECT_NEAR(p.medianDegrees, median, 15);
        };
    };
    const auto with = [](std::function<void(ModelBuffer&)> damage) {
        return [=] {
            ModelBuffer model = healthy(2, 3, 60);
            damage(model);
            return model;
        };
    };
    const Severity E = Severity::error, W = Severity::warning;
    const std::vector<Case> cases = {
        {"healthy", [] { return healthy(2, 3, 60); }, "ioq3", "", W, -1, none},
        {"flat sheet", [] { return sheet_model(200, 300); }, "ioq3", "", W, -1, none},
        {"999 vertices", [] { return sheet_model(999, 20); }, "ioq3", "", W, -1, none},
        {"1000 vertices", [] { return sheet_model(1000, 20); }, "ioq3", "too_many_vertices", E, 0,
         limits(1000, 1000)},
        {"1000 vertices", [] { return sheet_model(1000, 20); }, "quake3e", "too_many_vertices", E,
         0, limits(1000, 1000)},
        {"1000 vertices", [] { return sheet_model(1000, 20); }, "q3", "", W, -1, none},
        {"1001 vertices", [] { return sheet_model(1001, 20); }, "q3", "too_many_vertices", E, 0,
         limits(1001, 1001)},
        {"1001 vertices", [] { return sheet_model(1001, 20); }, "etlegacy", "", W, -1, none},
        {"9999 vertices", [] { return sheet_model(9999, 20); }, "etlegacy", "", W, -1, none},
        {"10000 vertices", [] { return sheet_model(10000, 20); }, "etlegacy", "too_many_vertices",
         E, 0, limits(10000, 10000)},
        {"1100 vertices, normals negated",
         [] {
             ModelBuffer m = sheet_model(1100, 20);
             negate_normals(m, 0);
             return m;
         },
         "etlegacy", "normals_inverted", E, 0, normals(1.0, 180)},
        {"1100 vertices, box 1/64 short",
         [] {
             ModelBuffer m = sheet_model(1100, 20);
             shrink_box(m, 0);
             return m;
         },
         "etlegacy", "culling_box", W, -1, frames(1, 0, 1.0 / 64)},
        {"a vertex count with no frames behind it",
         [] {
             BuiltModel m = frames_only_model(1);
             m.surfaces.push_back({"empty", {"empty"}, {}, {}});
             ModelBuffer model = build_model(m);
             put_i32(surface_at(model, 0) + 80, INT32_MAX);  // numVerts
             return model;
         },
         "ioq3", "too_many_vertices", E, 0, limits(INT32_MAX, 1000)},
        {"1999 triangles", [] { return sheet_model(100, 1999); }, "ioq3", "", W, -1, none},
        {"2000 triangles", [] { return sheet_model(100, 2000); }, "ioq3", "too_many_triangles", E,
         0, limits(2000, 2000)},
        {"2000 triangles", [] { return sheet_model(100, 2000); }, "q3", "", W, -1, none},
        {"2001 triangles", [] { return sheet_model(100, 2001); }, "q3", "too_many_triangles", E, 0,
         limits(2001, 2001)},
        {"2001 triangles", [] { return sheet_model(100, 2001); }, "etlegacy", "", W, -1, none},
        {"no frames", [] { return build_model(frames_only_model(0)); }, "ioq3", "no_frames", E, -1,
         none},
        {"no frames", [] { return build_model(frames_only_model(0)); }, "q3", "", W, -1, none},
        // A miss too thin to be seen is a warning; one of a tenth of a
        // unit, an error.
        {"sphere 1/64 short", with([](ModelBuffer& m) { shrink_sphere(m, 1); }), "ioq3",
         "culling_sphere", W, -1, frames(1, 1, 1.0 / 64)},
        {"sphere 0.1 short",
         with([](ModelBuffer& m) { set_radius(m, 1, farthest(m, 1) - 0.1, false); }), "ioq3",
         "culling_sphere", E, -1, frames(1, 1, 0.1)},
        {"box 1/256 short", with([](ModelBuffer& m) {
             std::uint8_t* frame = frame_at(m.data(), 2);
             Md3Frame::set_mins(frame, 1, Md3Frame::mins(frame, 1) + 1.0f / 256);
         }),
         "ioq3", "culling_box", W, -1,
         [](const Problem& p) {
             EXPECT_NE(p.message.find("vertices less than 0.01 units outside"), std::string::npos)
                 << p.message;
         }},
        // A record no exporter measured: garbage, not a distance.
        {"radius 1e30", with([](ModelBuffer& m) {
             Md3Frame::set_radius(frame_at(m.data(), 1), 1e30f);
             Md3Frame::set_localOrigin(frame_at(m.data(), 2), 0, -2e5f);
         }),
         "ioq3", "garbage_frame", E, -1, frames(2, 1, 0)},
        {"sphere just long enough",
         with([](ModelBuffer& m) { set_radius(m, 1, farthest(m, 1), true); }), "ioq3", "", W, -1,
         none},
        {"box 1/64 short", with([](ModelBuffer& m) { shrink_box(m, 2); }), "ioq3", "culling_box", W,
         -1, frames(1, 2, 1.0 / 64)},
        {"NaN radius",
         with([](ModelBuffer& m) { Md3Frame::set_radius(frame_at(m.data(), 0), NAN); }), "ioq3",
         "non_finite", E, -1, frames(1, 0, 0)},
        {"infinite box",
         with([](ModelBuffer& m) { Md3Frame::set_mins(frame_at(m.data(), 2), 1, -INFINITY); }),
         "ioq3", "non_finite", E, -1, frames(1, 2, 0)},
        {"normals negated", with([](ModelBuffer& m) { negate_normals(m, 1); }), "ioq3",
         "normals_inverted", E, 1, normals(1.0, 180)},
        {"normals random", with([](ModelBuffer& m) { randomise_normals(m, 0, 7); }), "ioq3",
         "normals_broken", E, 0, normals(0.85, 90)},
        {"one normal everywhere", with([](ModelBuffer& m) {
             each_vertex(m, 1, [](std::uint8_t* v) { Md3Vertex::set_normal(v, 0); });
         }),
         "ioq3", "normals_broken", E, 1, normals(0.85, 90)},
        {"backslash", with([](ModelBuffer& m) { set_shader(m, 1, "textures\\blob\\one"); }), "ioq3",
         "shader_backslash", W, 1, none},
        {"empty shader", with([](ModelBuffer& m) { set_shader(m, 0, ""); }), "ioq3", "shader_empty",
         W, 0, none},
        {"merged shaders", with([](ModelBuffer& m) {
             set_shader(m, 0, "Material.004");
             set_shader(m, 1, "Material.008");
         }),
         "ioq3", "shader_merged", W, -1,
         [](const Problem& p) {
             EXPECT_EQ(p.surfaces, (std::vector<std::int32_t>{0, 1}));
         }},
        {"one shared shader", with([](ModelBuffer& m) {
             set_shader(m, 0, "Material.004");
             set_shader(m, 1, "Material.004");
         }),
         "ioq3", "", W, -1, none},
        {"long surface name", with([](ModelBuffer& m) {
             std::memset(const_cast<std::uint8_t*>(Md3Surface::name(surface_at(m, 1))), 'n',
                         kNameSize);
         }),
         "ioq3", "name_too_long", W, 1, limits(64, 63)},
        {"degenerate triangle",
         [] {
             BuiltModel m = generated_model(1, 2, 30);
             m.surfaces[0].triangles.push_back({3, 3, 3});
             ModelBuffer model = repaired(build_model(m));
             set_shader(model, 0, "blob");
             return model;
         },
         "ioq3", "degenerate_triangles", W, 0, limits(1, 0)},
        // Seams meshmend would open are advice, not a problem of the model.
        {"smoothed seam", roof_model, "ioq3", "", W, 0, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " for " + c.engine);
        const ModelBuffer model = c.make();
        ASSERT_TRUE(validate_layout(model));
        std::vector<Problem> found = problems_of(model, engine(c.engine));
        // A surface the engine refuses is not analysed further, and says so.
        if (std::string(c.kind).starts_with("too_many_")) {
            const auto skipped = std::find_if(found.begin(), found.end(), [](const Problem& p) {
                return std::string(kind_name(p.kind)) == "not_analysed";
            });
            ASSERT_NE(skipped, found.end());
            EXPECT_EQ(skipped->surface, c.surface);
            found.erase(skipped);
        }
        if (c.kind[0] == 0) {
            for (const Problem& p : found) ADD_FAILURE() << kind_name(p.kind) << ": " << p.message;
            continue;
        }
        ASSERT_EQ(found.size(), 1u)
            << (found.empty() ? "" : kind_name(found[1 % found.size()].kind));
        const Problem& p = found[0];
        EXPECT_STREQ(kind_name(p.kind), c.kind);
        EXPECT_EQ(p.severity, c.severity);
        EXPECT_EQ(p.surface, c.surface);
        EXPECT_FALSE(p.message.empty());
        c.figures(p);
        ModelBuffer mended = model;
        if (!repair_model(mended, nullptr)) continue;  // too large for meshmend
        for (const Problem& after : problems_of(mended, engine(c.engine)))
            EXPECT_FALSE(geometry_kind(kind_name(after.kind)))
                << "after meshmend: " << after.message;
    }
}

// The seams meshmend would open are told as advice beside its changes, with
// the mode that would not open them. The roof's ridge is 90 degrees: a seam
// only under a crease wider than that, a hard edge under the default.
TEST(Problems, SeamsMeshmendWouldOpenAreAdvice) {
    CheckWorkspace workspace;
    workspace.normals.creaseDegrees = 180;
    const ModelReport report = check_model(roof_model(), workspace, default_engine());
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(report.advice.size(), 1u);
    const Problem& p = report.advice[0];
    EXPECT_STREQ(kind_name(p.kind), "repair_seams");
    EXPECT_EQ(p.surface, 0);
    EXPECT_EQ(p.count, 4);
    EXPECT_NEAR(p.worstDegrees, 90, 3);
    EXPECT_NE(p.message.find(printf_text("at 4 vertices (stored normals agree, rebuilt "
                                         "ones up to %.1f deg apart)",
                                         p.worstDegrees)),
              std::string::npos)
        << p.message;
    // Among meshmend's changes, in text and JSON, and no part of the health.
    EXPECT_EQ(health_of(report), Health::ok);
    const std::string text = text_report("roof.md3", report);
    const std::size_t block = text.find("  meshmend would change ");
    EXPECT_NE(block, std::string::npos) << text;
    EXPECT_GT(text.find("\n    surface 0 \"" + p.surfaceName + "\": meshmend would open a seam"),
              block)
        << text;
    const std::string json = json_line("roof.md3", report);
    EXPECT_NE(json.find(",\"advice\":[{\"kind\":\"repair_seams\",\"surface\":0,"),
              std::string::npos)
        << json;
    EXPECT_NE(
        text.find("\n    meshmend --normals=weld closes such seams (check with --normals weld)\n"),
        std::string::npos)
        << text;

    for (const NormalChoice normals : {NormalChoice{}, NormalChoice{NormalMode::weld, 180}}) {
        workspace.normals = normals;
        const ModelReport other = check_model(roof_model(), workspace, default_engine());
        EXPECT_TRUE(other.advice.empty()) << other.advice[0].message;
        EXPECT_EQ(text_report("roof.md3", other).find("--normals="), std::string::npos);
    }
}

// A miss is graded by how close the model is seen: a first-person weapon's
// small miss is an error, the same miss on a map object a warning.
TEST(Problems, CullingIsGradedByWhereTheModelIsSeen) {
    struct Case {
        const char* path;
        double short_by;
        Severity severity;
    };
    const std::vector<Case> cases = {
        {"models/mapobjects/tree/tree.md3", 0.05, Severity::warning},
        {"models/mapobjects/tree/tree.md3", 0.1, Severity::error},
        {"models/weapons2/shotgun/shotgun.md3", 0.05, Severity::error},
        {"models/weapons2/shotgun/shotgun.md3", 0.01, Severity::warning},
        {"/tmp/x/Models/Weapons/gun.md3", 0.03, Severity::error},
        {"models/powerups/weapons_holder.md3", 0.03, Severity::warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.short_by));
        ModelBuffer model = healthy(2, 3, 60);
        set_radius(model, 0, farthest(model, 0) - c.short_by, false);
        std::vector<Problem> found = problems_of(model);
        grade_culling(found, c.path);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].severity, c.severity);
        EXPECT_EQ(found[0].message.find("can vanish") != std::string::npos,
                  c.severity == Severity::error)
            << found[0].message;
    }
}

// meshmend's bounds contain its vertices and its normals are the
// geometry's: on everything it writes, from every model the builder makes,
// every fuzz seed and damaged variants of them, no geometry kind is found.
TEST(Problems, NoneOfTheGeometryKindsAfterMeshmend) {
    std::vector<ModelBuffer> originals = {build_model(sample_model()),
                                          build_model(generated_model(4, 5, 120)),
                                          build_model(generated_model(1, 1, 14)),
                                          build_model(frames_only_model(3)),
                                          roof_model(),
                                          sheet_model(300, 500)};
    for (const auto& [name, model] : seed_models()) originals.push_back(build_model(model));
    std::vector<ModelBuffer> models = originals;
    Mutator mutator(20261210);
    for (int n = 0; n < 300; ++n) models.push_back(mutator.mutate(originals[n % originals.size()]));
    int checked = 0;
    for (const ModelBuffer& model : models) {
        if (!validate_layout(model)) continue;
        ModelBuffer mended = model;
        if (!repair_model(mended, nullptr)) continue;
        ++checked;
        for (const Problem& p : problems_of(mended))
            EXPECT_FALSE(geometry_kind(kind_name(p.kind)))
                << kind_name(p.kind) << ": " << p.message;
    }
    EXPECT_GT(checked, static_cast<int>(originals.size()));
}

// Stored normals that are the rebuilt ones under one simple map are named by
// that map, a turn's sign as stored = R(angle) rebuilt, counter-clockwise
// looking down the axis; random normals, and a flat sheet (which every turn
// about its normal fits), are named by none.
TEST(Problems, BrokenNormalsNamedByTheMapThatMadeThem) {
    using Map = std::function<void(const float[3], std::uint16_t, float[3])>;
    // Written apart from the checker's own: Rodrigues' right-handed turn.
    const auto turn = [](int axis, double degrees) -> Map {
        return [=](const float n[3], std::uint16_t, float out[3]) {
            const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
            double k[3] = {0, 0, 0};
            k[axis] = 1;
            const double cross[3] = {k[1] * n[2] - k[2] * n[1], k[2] * n[0] - k[0] * n[2],
                                     k[0] * n[1] - k[1] * n[0]};
            for (int i = 0; i < 3; ++i)
                out[i] = static_cast<float>(n[i] * c + cross[i] * s + k[i] * n[axis] * (1 - c));
        };
    };
    const auto mirror = [](int axis) -> Map {
        return [=](const float n[3], std::uint16_t, float out[3]) {
            for (int i = 0; i < 3; ++i) out[i] = i == axis ? -n[i] : n[i];
        };
    };
    const Map swap = [](const float[3], std::uint16_t packed, float out[3]) {
        decode_normal(static_cast<std::uint16_t>(packed << 8 | packed >> 8), out);
    };
    struct Case {
        std::string what;
        Map map;
        const char* kind;
        std::string axis;
        std::int64_t degrees;
    };
    std::vector<Case> cases;
    for (int axis = 0; axis < 3; ++axis) {
        const std::string name(1, "xyz"[axis]);
        for (const int degrees : {90, 180, -90})
            cases.push_back({"turn " + std::to_string(degrees) + " " + name, turn(axis, degrees),
                             "normals_turned", name, degrees});
        cases.push_back({"mirror " + name, mirror(axis), "normals_mirrored", name, 0});
    }
    cases.push_back({"swap", swap, "normals_swapped", "", 0});
    // Every stored normal made from the rebuilt one by `map`.
    const auto remap = [](ModelBuffer& model, const Map& map) {
        each_vertex(model, 0, [&](std::uint8_t* v) {
            float n[3], out[3];
            decode_normal(Md3Vertex::normal(v), n);
            map(n, Md3Vertex::normal(v), out);
            Md3Vertex::set_normal(v, pack_normal(out[0], out[1], out[2]));
        });
    };
    // The cause named for a surface graded broken. Asked directly, as a map
    // may leave a round surface on either side of the grading: a mirror
    // moves only the normals along its axis, a half turn turns the others
    // round so that they face away.
    const auto cause_of = [](const ModelBuffer& model) {
        CheckWorkspace workspace;
        check_model(model, workspace, default_engine());
        Problem p = make_problem(ProblemKind::normals_broken, 0, "blob");
        p.medianDegrees = 90;
        name_normal_cause(model.data(), workspace, model.data() + surface_offset(model.data(), 0),
                          p);
        return p;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelBuffer model = healthy(1, 3, 200);
        remap(model, c.map);
        const Problem p = cause_of(model);
        EXPECT_STREQ(kind_name(p.kind), c.kind) << p.message;
        EXPECT_EQ(p.severity, Severity::error);
        EXPECT_EQ(p.axis, c.axis);
        EXPECT_EQ(p.value, c.degrees);
        EXPECT_LT(p.fittedDegrees, 3.0);  // the packing's own error
        EXPECT_EQ(p.medianDegrees, 90);
        // And through the check, where the grading finds the surface broken.
        if (c.what == "turn 90 x") {
            const std::vector<Problem> found = problems_of(model);
            ASSERT_EQ(found.size(), 1u);
            EXPECT_STREQ(kind_name(found[0].kind), c.kind) << found[0].message;
        }
    }
    // No map: random directions, and a flat sheet facing +Z turned about X
    // (whose normals, packed, end up a degree short of 90 off, not facing
    // away): that turn alone of the maps fits it, but so would any turn
    // about Z after it.
    ModelBuffer random = healthy(1, 3, 200);
    randomise_normals(random, 0, 11);
    std::vector<std::array<float, 3>> corners;
    std::vector<std::array<std::int32_t, 3>> cells;
    for (int v = 0; v < 100; ++v) corners.push_back({v % 10 / 4.0f, v / 10 / 4.0f, 0});
    for (int a = 0; a < 89; ++a)
        if (a % 10 != 9) {
            cells.push_back({a, a + 10, a + 1});
            cells.push_back({a + 1, a + 10, a + 11});
        }
    ModelBuffer sheet = repaired(build_model(triangle_model(corners, cells)));
    remap(sheet, turn(0, 90));
    for (const ModelBuffer* model : {&random, &sheet}) {
        EXPECT_STREQ(kind_name(cause_of(*model).kind), "normals_broken");
        const std::vector<Problem> found = problems_of(*model);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_STREQ(kind_name(found[0].kind), "normals_broken") << found[0].message;
    }
}

// Damage to one surface or one frame of an animated model shows as the
// kind for that surface or that frame only.
TEST(Problems, DamageShowsWhereItIs) {
    for (const auto& [surfaces, numFrames, numVerts] :
         {std::array{3, 4, 60}, std::array{2, 7, 200}, std::array{1, 3, 500}}) {
        const ModelBuffer model = healthy(surfaces, numFrames, numVerts);
        ASSERT_TRUE(problems_of(model).empty());
        for (int s = 0; s < surfaces; ++s) {
            SCOPED_TRACE("surface " + std::to_string(s));
            ModelBuffer broken = model, inverted = model;
            randomise_normals(broken, s, static_cast<std::uint32_t>(s + 1));
            negate_normals(inverted, s);
            for (const auto& [damaged, kind] :
                 {std::pair{&broken, "normals_broken"}, std::pair{&inverted, "normals_inverted"}}) {
                const std::vector<Problem> found = problems_of(*damaged);
                ASSERT_EQ(found.size(), 1u);
                EXPECT_STREQ(kind_name(found[0].kind), kind);
                EXPECT_EQ(found[0].surface, s);
            }
        }
        for (int i = 0; i < numFrames; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            ModelBuffer sphere = model, box = model;
            shrink_sphere(sphere, i);
            shrink_box(box, i);
            for (const auto& [damaged, kind] :
                 {std::pair{&sphere, "culling_sphere"}, std::pair{&box, "culling_box"}}) {
                const std::vector<Problem> found = problems_of(*damaged);
                ASSERT_EQ(found.size(), 1u);
                EXPECT_STREQ(kind_name(found[0].kind), kind);
                EXPECT_EQ(found[0].frames, 1);
                EXPECT_EQ(found[0].firstFrame, i);
            }
        }
    }
    // A model large enough to have its spheres measured beside the pass.
    ModelBuffer large = healthy(1, 300, 400);
    shrink_sphere(large, 123);
    set_radius(large, 124, farthest(large, 124), true);
    const std::vector<Problem> found = problems_of(large);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(kind_name(found[0].kind), "culling_sphere");
    EXPECT_EQ(found[0].frames, 1);
    EXPECT_EQ(found[0].firstFrame, 123);
    EXPECT_NEAR(found[0].worst, 1.0 / 64, 1e-4);
}

namespace {

// One surface of three vertices and `triangles` copies of one triangle over
// `frames` frames: little file, much work.
ModelBuffer repeated_triangle_model(int triangles, int frames) {
    BuiltModel m;
    m.frames.resize(static_cast<std::size_t>(frames));
    BuiltSurface s;
    s.name = "s";
    s.triangles.assign(static_cast<std::size_t>(triangles), {0, 1, 2});
    s.frames.assign(static_cast<std::size_t>(frames),
                    {{0, 0, 0, 0}, {640, 0, 0, 0}, {0, 640, 0, 0}});
    m.surfaces.push_back(std::move(s));
    return build_model(m);
}

}  // namespace

// The check's work is bounded: a model past the budget is not computed (and
// says by how much), and a surface the engine refuses anyway, or too large to
// analyse, gets one not_analysed line instead of its normal and seam findings.
TEST(Problems, BudgetsBoundTheWork) {
    ModelBuffer inverted = sheet_model(1100, 2100);
    negate_normals(inverted, 0);
    struct Case {
        const char* what;
        ModelBuffer model;
        const char* engine;
        Verdict verdict;
        std::string text;  // in the error, or in the not_analysed message; empty: none
    };
    const std::vector<Case> cases = {
        {"past the model's budget", repeated_triangle_model(100000, 2700), "ioq3",
         Verdict::unreadable,
         "not computed: checking it takes 270008100 vertex- and triangle-frames, over the budget "
         "of 268435456"},
        {"refused by ioq3, normals inverted", inverted, "ioq3", Verdict::refused,
         "normals and seams not analysed: ioq3 refuses the surface anyway"},
        {"refused by q3, normals inverted", inverted, "q3", Verdict::refused,
         "normals and seams not analysed: Quake III 1.32 refuses the surface anyway"},
        {"kept by etlegacy, normals inverted", inverted, "etlegacy", Verdict::refused, ""},
        {"past the analysis budget", repeated_triangle_model(9000, 7500), "etlegacy",
         Verdict::repairable,
         "normals and seams not analysed: 67500000 vertex- or triangle-frames, over the budget "
         "of 67108864"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckWorkspace workspace;
        const ModelReport report = check_model(c.model, workspace, engine(c.engine));
        EXPECT_EQ(report.verdict, c.verdict);
        if (c.verdict == Verdict::unreadable) {
            EXPECT_EQ(report.error, c.text);
            EXPECT_TRUE(report.problems.empty());
            continue;
        }
        int skipped = 0, normals = 0;
        for (const Problem& p : report.problems) {
            const std::string kind = kind_name(p.kind);
            if (kind == "not_analysed") {
                ++skipped;
                EXPECT_EQ(p.message, c.text);
            }
            normals += kind.starts_with("normals_") || kind == "repair_seams";
        }
        EXPECT_EQ(skipped, c.text.empty() ? 0 : 1);
        // The inverted sheet's normals are found exactly when it is analysed.
        if (c.model == inverted) EXPECT_EQ(normals, c.text.empty() ? 1 : 0);
    }
}
