// Layout validation and loading: what a model must satisfy before anything is
// patched in place.
#include <algorithm>
#include <functional>

#include "model_io.hpp"
#include "support.hpp"
#include "validate_layout.hpp"

using namespace md3;

namespace {

// Two surfaces over two frames, with room after ofsEnd.
ModelBuffer valid_model() {
    BuiltModel m =
        triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}, {{0, 1, 2}, {1, 3, 2}});
    m.frames.resize(2);
    m.surfaces[0].frames.push_back(m.surfaces[0].frames[0]);
    m.surfaces.push_back(m.surfaces[0]);
    m.numTags = 1;
    m.trailingBytes = 40;
    return build_model(m);
}

void set_header(ModelBuffer& m, std::int64_t field, std::int64_t v) {
    put_i32(m.data() + field, static_cast<std::int32_t>(v));
}
void set_surface(ModelBuffer& m, int s, std::int64_t field, std::int64_t v) {
    put_i32(m.data() + surface_offset(m.data(), s) + field, static_cast<std::int32_t>(v));
}
std::int32_t surface_field(const ModelBuffer& m, int s, std::int64_t field) {
    return get_i32(m.data() + surface_offset(m.data(), s) + field);
}

using namespace Md3Surface;  // the surface header's field offsets

struct Breakage {
    const char* what;
    LayoutRule rule;
    std::function<void(ModelBuffer&)> apply;
};

}  // namespace

TEST(ValidateLayout, AcceptsWellFormedModels) {
    EXPECT_TRUE(validate_layout(valid_model()));
    EXPECT_TRUE(validate_layout(build_model(frames_only_model(3))));

    BuiltModel empty;  // just a header: no frames, no surfaces
    EXPECT_TRUE(validate_layout(build_model(empty)));

    // A surface may animate fewer frames than the model has.
    BuiltModel fewer = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    fewer.frames.resize(3);
    EXPECT_TRUE(validate_layout(build_model(fewer)));

    // An empty triangle array is never read, wherever it points.
    ModelBuffer noTriangles = build_model(triangle_model({{0, 0, 0}}, {}));
    set_surface(noTriangles, 0, kOfsTriangles, -5000);
    EXPECT_TRUE(validate_layout(noTriangles));

    // ofsEnd may stop short of the file as long as every record fits before it.
    ModelBuffer shorter = valid_model();
    EXPECT_GT(shorter.size(), static_cast<std::size_t>(Md3Header::ofsEnd(shorter.data())));
    EXPECT_TRUE(validate_layout(shorter));
}

TEST(ValidateLayout, RejectsEveryBrokenRecord) {
    const ModelBuffer good = valid_model();
    const std::int64_t end = Md3Header::ofsEnd(good.data());
    const std::int64_t second = surface_offset(good.data(), 1);
    const std::vector<Breakage> breakages = {
        {"ofsEnd below a header", LayoutRule::model_end,
         [](ModelBuffer& m) { set_header(m, Md3Header::kOfsEnd, 107); }},
        {"ofsEnd negative", LayoutRule::model_end,
         [](ModelBuffer& m) { set_header(m, Md3Header::kOfsEnd, -1); }},
        {"ofsEnd past the file", LayoutRule::model_end,
         [](ModelBuffer& m) {
             set_header(m, Md3Header::kOfsEnd, static_cast<std::int64_t>(m.size()) + 1);
         }},
        {"negative numFrames", LayoutRule::negative_count,
         [](ModelBuffer& m) { set_header(m, Md3Header::kNumFrames, -1); }},
        {"negative numSurfaces", LayoutRule::negative_count,
         [](ModelBuffer& m) { set_header(m, Md3Header::kNumSurfaces, -1); }},
        {"frames past ofsEnd", LayoutRule::frames_outside,
         [end](ModelBuffer& m) { set_header(m, Md3Header::kOfsFrames, end - 2 * 56 + 1); }},
        {"frames before the file", LayoutRule::frames_outside,
         [](ModelBuffer& m) { set_header(m, Md3Header::kOfsFrames, -56); }},
        {"huge frame count", LayoutRule::frames_outside,
         [](ModelBuffer& m) { set_header(m, Md3Header::kNumFrames, 0x7fffffff); }},
        {"frames over the header", LayoutRule::overlap,
         [](ModelBuffer& m) { set_header(m, Md3Header::kOfsFrames, 0); }},
        {"one surface too many", LayoutRule::surface_outside,
         [](ModelBuffer& m) { set_header(m, Md3Header::kNumSurfaces, 3); }},
        {"huge surface count", LayoutRule::surface_outside,
         [](ModelBuffer& m) { set_header(m, Md3Header::kNumSurfaces, 0x7fffffff); }},
        {"first surface past ofsEnd", LayoutRule::surface_outside,
         [end](ModelBuffer& m) { set_header(m, Md3Header::kOfsSurfaces, end - 107); }},
        {"surface ofsEnd below a header", LayoutRule::surface_end,
         [](ModelBuffer& m) { set_surface(m, 0, kOfsEnd, 107); }},
        {"surface ofsEnd zero", LayoutRule::surface_end,
         [](ModelBuffer& m) { set_surface(m, 1, kOfsEnd, 0); }},
        {"surface block past ofsEnd", LayoutRule::surface_end,
         [end, second](ModelBuffer& m) { set_surface(m, 1, kOfsEnd, end - second + 1); }},
        {"surface with more frames than the model", LayoutRule::surface_frames,
         [](ModelBuffer& m) { set_surface(m, 0, kNumFrames, 3); }},
        {"negative surface frames", LayoutRule::negative_count,
         [](ModelBuffer& m) { set_surface(m, 0, kNumFrames, -1); }},
        {"negative vertex count", LayoutRule::negative_count,
         [](ModelBuffer& m) { set_surface(m, 0, kNumVerts, -1); }},
        {"negative triangle count", LayoutRule::negative_count,
         [](ModelBuffer& m) { set_surface(m, 0, kNumTriangles, -1); }},
        {"huge vertex count", LayoutRule::record_outside,
         [](ModelBuffer& m) { set_surface(m, 0, kNumVerts, 0x7fffffff); }},
        {"huge triangle count", LayoutRule::record_outside,
         [](ModelBuffer& m) { set_surface(m, 1, kNumTriangles, 0x7fffffff); }},
        {"shader past its block", LayoutRule::record_outside,
         [](ModelBuffer& m) { set_surface(m, 0, kOfsShaders, surface_field(m, 0, kOfsEnd) - 67); }},
        {"shader before its block", LayoutRule::record_outside,
         [](ModelBuffer& m) { set_surface(m, 1, kOfsShaders, -68); }},
        {"triangles past their block", LayoutRule::record_outside,
         [](ModelBuffer& m) {
             set_surface(m, 0, kOfsTriangles, surface_field(m, 0, kOfsEnd) - 23);
         }},
        {"vertices past their block", LayoutRule::record_outside,
         [](ModelBuffer& m) {
             set_surface(m, 0, kOfsXyzNormals, surface_field(m, 0, kOfsXyzNormals) + 1);
         }},
        {"vertices in the next block", LayoutRule::record_outside,
         [](ModelBuffer& m) {
             set_surface(m, 0, kOfsXyzNormals,
                         surface_field(m, 0, kOfsEnd) + surface_field(m, 1, kOfsXyzNormals));
         }},
        {"triangle index past the vertices", LayoutRule::triangle_index,
         [](ModelBuffer& m) { set_surface(m, 1, kNumVerts, 3); }},
        {"shader over its surface header", LayoutRule::overlap,
         [](ModelBuffer& m) { set_surface(m, 0, kOfsShaders, 40); }},
        {"vertices over the triangles", LayoutRule::overlap,
         [](ModelBuffer& m) {
             set_surface(m, 0, kOfsXyzNormals, surface_field(m, 0, kOfsTriangles));
         }},
        {"shader over the triangles", LayoutRule::overlap,
         [](ModelBuffer& m) {
             set_surface(m, 1, kOfsShaders, surface_field(m, 1, kOfsTriangles) - 60);
         }},
        {"shader over its vertices", LayoutRule::shader_overlap,
         [](ModelBuffer& m) {
             set_surface(m, 0, kOfsShaders, surface_field(m, 0, kOfsEnd) - Md3Shader::kSize);
         }},
        {"frames over a surface header", LayoutRule::overlap,
         [second](ModelBuffer& m) { set_header(m, Md3Header::kOfsFrames, second); }},
    };
    for (const Breakage& b : breakages) {
        ModelBuffer m = good;
        b.apply(m);
        const LayoutVerdict verdict = validate_layout(m);
        EXPECT_FALSE(verdict) << b.what;
        EXPECT_EQ(layout_rule_name(verdict.rule), std::string(layout_rule_name(b.rule)))
            << b.what << ": " << verdict.reason;
    }

    // Frames that would share bytes with vertices, and nothing else.
    BuiltModel wide = triangle_model(
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}, {3, 3, 0}});
    ModelBuffer framesOnVertices = build_model(wide);
    EXPECT_TRUE(validate_layout(framesOnVertices));
    set_header(framesOnVertices, Md3Header::kOfsFrames,
               surface_offset(framesOnVertices.data(), 0) +
                   surface_field(framesOnVertices, 0, kOfsXyzNormals));
    EXPECT_FALSE(validate_layout(framesOnVertices));

    ModelBuffer negativeIndex = good;
    const std::int64_t triangles = second + surface_field(good, 1, kOfsTriangles);
    put_i32(negativeIndex.data() + triangles + Md3Triangle::kSize + 4, -1);  // triangle 1, corner 1
    EXPECT_FALSE(validate_layout(negativeIndex));
}

// The reason's wording, for one model per kind of record it can name.
TEST(ValidateLayout, ReasonsNameTheRecordOffsetsAndValues) {
    BuiltModel named = triangle_model(
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}, {3, 3, 0}},
        {{0, 1, 2}, {2, 1, 0}});
    named.surfaces[0].name = "hull\"\x01\xe9";
    const ModelBuffer good = build_model(named);
    const std::int64_t surface = surface_offset(good.data(), 0);
    const std::int64_t vertices = surface + surface_field(good, 0, kOfsXyzNormals);
    const std::int64_t secondTriangle =
        surface + surface_field(good, 0, kOfsTriangles) + Md3Triangle::kSize;
    const struct {
        std::function<void(ModelBuffer&)> apply;
        const char* reason;
    } cases[] = {
        {[](ModelBuffer& m) { m.resize(100); },
         "file of 100 bytes is shorter than a model header (108 bytes)"},
        {[](ModelBuffer& m) { std::copy_n("RI\nF", 4, m.begin()); },
         "not an MD3 model: magic \"RI\\x0aF\""},
        {[](ModelBuffer& m) { set_header(m, Md3Header::kVersion, 16); }, "version 16, expected 15"},
        {[secondTriangle](ModelBuffer& m) { put_i32(m.data() + secondTriangle + 8, 1030); },
         "surface 0 \"hull\\\"\\x01\\xe9\": triangle 1 uses vertex 1030 of 8 (corner 2, at 352)"},
        {[vertices](ModelBuffer& m) { set_header(m, Md3Header::kOfsFrames, vertices); },
         "surface 0 \"hull\\\"\\x01\\xe9\": frame array (56 bytes at 428) overlaps its vertex "
         "array "
         "(8 x 8 bytes at 428)"},
        // Texture coordinates are never read: frames there overlap nothing
        // but the shader record moved onto them.
        {[surface](ModelBuffer& m) {
             const std::int64_t st = surface_field(m, 0, kOfsSt);
             set_header(m, Md3Header::kOfsFrames, surface + st);
             set_surface(m, 0, kOfsShaders, st);
         },
         "surface 0 \"hull\\\"\\x01\\xe9\": its shader record (68 bytes at 364) overlaps the "
         "frame array (56 bytes at 364)"},
        {[](ModelBuffer& m) {
             set_surface(m, 0, kOfsShaders, surface_field(m, 0, kOfsEnd) - Md3Shader::kSize);
         },
         "surface 0 \"hull\\\"\\x01\\xe9\": its shader record (68 bytes at 424) overlaps its "
         "vertex array (8 x 8 bytes at 428)"},
    };
    for (const auto& c : cases) {
        ModelBuffer m = good;
        c.apply(m);
        EXPECT_EQ(validate_layout(m).reason, c.reason);
    }
    EXPECT_EQ(validate_layout(good).reason, "");
}

TEST(ValidateLayout, RegionArithmeticDoesNotOverflow) {
    EXPECT_TRUE(region_inside(0, 0, 12, 0, 100));
    EXPECT_TRUE(region_inside(88, 1, 12, 0, 100));
    EXPECT_FALSE(region_inside(89, 1, 12, 0, 100));
    EXPECT_FALSE(region_inside(0, 0x7fffffffLL * 0x7fffffffLL, 8, 0, 100));
    EXPECT_FALSE(region_inside(0x7fffffff, 0x7fffffff, 56, 0, 0x7fffffff));
    EXPECT_FALSE(region_inside(-1, 1, 1, 0, 100));
    EXPECT_FALSE(region_inside(0, -1, 1, 0, 100));
}

class LoadModel : public ScratchDir {};

TEST_F(LoadModel, ReadsTheWholeFileOrExplainsWhyNot) {
    ModelBuffer model;
    EXPECT_EQ(load_model(path("missing.md3"), model), LoadResult::cannot_open);

    write_file(path("empty.md3"), {});
    EXPECT_EQ(load_model(path("empty.md3"), model), LoadResult::too_short);
    write_file(path("short.md3"), ModelBuffer(107, 'x'));
    EXPECT_EQ(load_model(path("short.md3"), model), LoadResult::too_short);

    const ModelBuffer bytes = valid_model();
    write_file(path("good.md3"), bytes);
    ASSERT_EQ(load_model(path("good.md3"), model), LoadResult::ok);
    EXPECT_EQ(model, bytes);

    EXPECT_EQ(load_model(dir.string(), model), LoadResult::cannot_open);  // a directory is no model
}
