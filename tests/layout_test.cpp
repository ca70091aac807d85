// Layout validation and loading: what a model must satisfy before anything is
// patched in place.
#include <functional>

#include "model_io.hpp"
#include "support.hpp"
#include "validate_layout.hpp"

namespace {

// Two surfaces over two frames, with room after ofsEnd.
ModelBuffer valid_model() {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}, {{0, 1, 2}, {1, 3, 2}});
    m.frames.resize(2);
    m.surfaces[0].frames.push_back(m.surfaces[0].frames[0]);
    m.surfaces.push_back(m.surfaces[0]);
    m.numTags = 1;
    m.trailingBytes = 40;
    return build_model(m);
}

void set_header(ModelBuffer& m, int field, std::int64_t v) { put_i32(m.data() + field, static_cast<std::int32_t>(v)); }
void set_surface(ModelBuffer& m, int s, int field, std::int64_t v) {
    put_i32(m.data() + surface_offset(m.data(), s) + field, static_cast<std::int32_t>(v));
}
std::int32_t surface_field(const ModelBuffer& m, int s, int field) {
    return get_i32(m.data() + surface_offset(m.data(), s) + field);
}

// Surface header field offsets, as the file lays them out.
enum { kNumFrames = 72, kNumVerts = 80, kNumTriangles = 84, kOfsTriangles = 88, kOfsShaders = 92,
       kOfsXyz = 100, kOfsEnd = 104 };

struct Breakage {
    const char* what;
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
        {"ofsEnd below a header", [](ModelBuffer& m) { set_header(m, 104, 107); }},
        {"ofsEnd negative", [](ModelBuffer& m) { set_header(m, 104, -1); }},
        {"ofsEnd past the file", [](ModelBuffer& m) { set_header(m, 104, static_cast<std::int64_t>(m.size()) + 1); }},
        {"negative numFrames", [](ModelBuffer& m) { set_header(m, 76, -1); }},
        {"negative numSurfaces", [](ModelBuffer& m) { set_header(m, 84, -1); }},
        {"frames past ofsEnd", [end](ModelBuffer& m) { set_header(m, 92, end - 2 * 56 + 1); }},
        {"frames before the file", [](ModelBuffer& m) { set_header(m, 92, -56); }},
        {"huge frame count", [](ModelBuffer& m) { set_header(m, 76, 0x7fffffff); }},
        {"frames over the header", [](ModelBuffer& m) { set_header(m, 92, 0); }},
        {"one surface too many", [](ModelBuffer& m) { set_header(m, 84, 3); }},
        {"huge surface count", [](ModelBuffer& m) { set_header(m, 84, 0x7fffffff); }},
        {"first surface past ofsEnd", [end](ModelBuffer& m) { set_header(m, 100, end - 107); }},
        {"surface ofsEnd below a header", [](ModelBuffer& m) { set_surface(m, 0, kOfsEnd, 107); }},
        {"surface ofsEnd zero", [](ModelBuffer& m) { set_surface(m, 1, kOfsEnd, 0); }},
        {"surface block past ofsEnd", [end, second](ModelBuffer& m) { set_surface(m, 1, kOfsEnd, end - second + 1); }},
        {"surface with more frames than the model", [](ModelBuffer& m) { set_surface(m, 0, kNumFrames, 3); }},
        {"negative surface frames", [](ModelBuffer& m) { set_surface(m, 0, kNumFrames, -1); }},
        {"negative vertex count", [](ModelBuffer& m) { set_surface(m, 0, kNumVerts, -1); }},
        {"negative triangle count", [](ModelBuffer& m) { set_surface(m, 0, kNumTriangles, -1); }},
        {"huge vertex count", [](ModelBuffer& m) { set_surface(m, 0, kNumVerts, 0x7fffffff); }},
        {"huge triangle count", [](ModelBuffer& m) { set_surface(m, 1, kNumTriangles, 0x7fffffff); }},
        {"shader past its block", [](ModelBuffer& m) { set_surface(m, 0, kOfsShaders, surface_field(m, 0, kOfsEnd) - 67); }},
        {"shader before its block", [](ModelBuffer& m) { set_surface(m, 1, kOfsShaders, -68); }},
        {"triangles past their block", [](ModelBuffer& m) { set_surface(m, 0, kOfsTriangles, surface_field(m, 0, kOfsEnd) - 23); }},
        {"vertices past their block", [](ModelBuffer& m) { set_surface(m, 0, kOfsXyz, surface_field(m, 0, kOfsXyz) + 1); }},
        {"vertices in the next block", [](ModelBuffer& m) { set_surface(m, 0, kOfsXyz, surface_field(m, 0, kOfsEnd) + surface_field(m, 1, kOfsXyz)); }},
        {"triangle index past the vertices", [](ModelBuffer& m) { set_surface(m, 1, kNumVerts, 3); }},
        {"shader over its surface header", [](ModelBuffer& m) { set_surface(m, 0, kOfsShaders, 40); }},
        {"vertices over the triangles", [](ModelBuffer& m) { set_surface(m, 0, kOfsXyz, surface_field(m, 0, kOfsTriangles)); }},
        {"shader over the triangles", [](ModelBuffer& m) { set_surface(m, 1, kOfsShaders, surface_field(m, 1, kOfsTriangles) - 60); }},
        {"frames over a surface header", [second](ModelBuffer& m) { set_header(m, 92, second); }},
    };
    for (const Breakage& b : breakages) {
        ModelBuffer m = good;
        b.apply(m);
        EXPECT_FALSE(validate_layout(m)) << b.what;
    }

    // Frames that would share bytes with vertices, and nothing else.
    BuiltModel wide = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}, {3, 3, 0}});
    ModelBuffer framesOnVertices = build_model(wide);
    EXPECT_TRUE(validate_layout(framesOnVertices));
    set_header(framesOnVertices, 92, surface_offset(framesOnVertices.data(), 0) + surface_field(framesOnVertices, 0, kOfsXyz));
    EXPECT_FALSE(validate_layout(framesOnVertices));

    ModelBuffer negativeIndex = good;
    const std::int64_t triangles = second + surface_field(good, 1, kOfsTriangles);
    put_i32(negativeIndex.data() + triangles + 16, -1);
    EXPECT_FALSE(validate_layout(negativeIndex));
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
