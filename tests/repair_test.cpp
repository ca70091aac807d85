// The repair pass: names, normals, bounds and what it must leave alone.
#include "repair.hpp"

#include <cmath>
#include <cstdlib>

#include "support.hpp"
#include "validate_layout.hpp"

using namespace md3;

namespace {

PassOutput repair(ModelBuffer& model) { return run_pass(repair_model, model); }

std::string shader_after(const std::string& shader) {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.surfaces[0].shaders = {shader};
    ModelBuffer bytes = build_model(m);
    repair(bytes);
    const std::uint8_t* surface = bytes.data() + surface_offset(bytes.data(), 0);
    return std::string(field_text(surface + Md3Surface::ofsShaders(surface), kNameSize));
}

float frame_field(const ModelBuffer& m, int i, float (*field)(const std::uint8_t*, int), int k) {
    return field(m.data() + frame_offset(m.data(), i), k);
}

}  // namespace

TEST(RepairNames, ModelNameGetsForwardSlashesAndKeepsItsExtension) {
    BuiltModel m = frames_only_model(0);
    m.name = "models\\ships\\a.md3";
    ModelBuffer bytes = build_model(m);
    const PassOutput r = repair(bytes);
    EXPECT_EQ(field_text(Md3Header::name(bytes.data()), kNameSize), "models/ships/a.md3");
    EXPECT_EQ(r.lines,
              "Fixing model name:     models\\ships\\a.md3\n"
              "Done:                  models/ships/a.md3\n"
              "Fixing frame bounds:   0 frames\n"
              "Done.\n");
}

TEST(RepairNames, ShaderLosesOnlyAThreeCharacterExtension) {
    EXPECT_EQ(shader_after("textures\\ship\\hull.tga"), "textures/ship/hull");
    EXPECT_EQ(shader_after("hull.jpeg"), "hull.jpeg");
    EXPECT_EQ(shader_after("hull.tg"), "hull.tg");
    EXPECT_EQ(shader_after("textures\\hull"), "textures/hull");
    EXPECT_EQ(shader_after(".tga"), "");
    EXPECT_EQ(shader_after("tga"), "tga");
    EXPECT_EQ(shader_after(""), "");
    // A name that fills its field has no NUL: it ends at the field's end.
    const std::string full = std::string(60, 'a') + ".tga";
    EXPECT_EQ(shader_after(full), std::string(60, 'a'));
    EXPECT_EQ(shader_after(std::string(63, 'b') + "\\"), std::string(63, 'b') + "/");
}

TEST(RepairNames, OnlyTheFirstShaderAndNoSurfaceNameChange) {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.surfaces[0].name = "hull\\main.tga";
    m.surfaces[0].shaders = {"a\\b.tga", "c\\d.tga"};
    ModelBuffer bytes = build_model(m);
    const PassOutput r = repair(bytes);
    const std::uint8_t* surface = bytes.data() + surface_offset(bytes.data(), 0);
    const std::uint8_t* shaders = surface + Md3Surface::ofsShaders(surface);
    EXPECT_EQ(field_text(Md3Surface::name(surface), kNameSize), "hull\\main.tga");
    EXPECT_EQ(field_text(shaders, kNameSize), "a/b");
    EXPECT_EQ(field_text(shaders + Md3Shader::kSize, kNameSize), "c\\d.tga");
    EXPECT_NE(r.lines.find("Fixing surface:        hull\\main.tga\n"
                           "Fixing shader:         a\\b.tga\n"
                           "Done:                  a/b\n"
                           "Fixing frames/normals: 1 frames 1 tris 3 verts\n"),
              std::string::npos);
}

TEST(RepairNormals, SingleTriangleNormalFollowsItsWinding) {
    ModelBuffer down = build_model(triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    repair(down);
    ModelBuffer up = build_model(triangle_model({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}));
    repair(up);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(normal_of(down, 0, 0, v), 128) << v;
        EXPECT_EQ(normal_of(up, 0, 0, v), 0) << v;
    }
}

TEST(RepairNormals, SharedVertexAveragesItsFaces) {
    // Vertex 0 sits on a face looking down -z and one looking down -x: the
    // sum (-1, 0, -1) normalised is 45 degrees between them.
    ModelBuffer bytes = build_model(
        triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {0, 2, 3}}));
    repair(bytes);
    EXPECT_EQ(normal_of(bytes, 0, 0, 0), (127 << 8) | 95);  // azimuth pi, polar 3/4 pi
}

TEST(RepairNormals, VerticesWithoutAFaceKeepTheirOldNormal) {
    // Vertex 3 is used by no triangle; vertices 0..2 only by a degenerate one.
    ModelBuffer bytes =
        build_model(triangle_model({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {5, 0, 0}}, {{0, 1, 2}}));
    repair(bytes);
    for (int v = 0; v < 4; ++v) EXPECT_EQ(normal_of(bytes, 0, 0, v), 0xBEEF) << v;
}

TEST(RepairNormals, EachFrameUsesItsOwnPositions) {
    BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    m.frames.resize(2);
    auto flipped = m.surfaces[0].frames[0];
    std::swap(flipped[1], flipped[2]);
    m.surfaces[0].frames.push_back(flipped);
    ModelBuffer bytes = build_model(m);
    repair(bytes);
    EXPECT_EQ(normal_of(bytes, 0, 0, 0), 128);
    EXPECT_EQ(normal_of(bytes, 0, 1, 0), 0);
}

TEST(RepairBounds, ModelWithoutGeometryEndsAtTheResetValues) {
    ModelBuffer bytes = build_model(frames_only_model(2));
    const PassOutput r = repair(bytes);
    EXPECT_EQ(r.lines,
              "Fixing model name:     frames\nDone:                  frames\n"
              "Fixing frame bounds:   2 frames\nDone.\n");
    for (int i = 0; i < 2; ++i) {
        const std::uint8_t* frame = bytes.data() + frame_offset(bytes.data(), i);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(Md3Frame::mins(frame, k), 999999.0f);
            EXPECT_EQ(Md3Frame::maxs(frame, k), -999999.0f);
            EXPECT_EQ(Md3Frame::localOrigin(frame, k), 0.0f);
        }
        EXPECT_EQ(Md3Frame::radius(frame), 3464098.25f);
    }
}

TEST(RepairBounds, FrameBoxIsTheUnionOverAllSurfaces) {
    BuiltModel m = triangle_model({{-1, 2, 3}, {4, -5, 6}, {0, 0, 0}});
    m.frames.resize(2);
    m.surfaces[0].frames.push_back({{64, 64, 64, 0}, {128, 128, 128, 0}, {192, 192, 192, 0}});
    BuiltSurface other = triangle_model({{10, 0, -7.5f}, {0, 0, 0}, {0, 1, 0}}).surfaces[0];
    m.surfaces.push_back(other);  // animates frame 0 only
    ModelBuffer bytes = build_model(m);
    repair(bytes);

    const float mins0[3] = {-1, -5, -7.5f}, maxs0[3] = {10, 2, 6};
    const float mins1[3] = {1, 1, 1}, maxs1[3] = {3, 3, 3};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(frame_field(bytes, 0, Md3Frame::mins, k), mins0[k]);
        EXPECT_EQ(frame_field(bytes, 0, Md3Frame::maxs, k), maxs0[k]);
        EXPECT_EQ(frame_field(bytes, 0, Md3Frame::localOrigin, k), (mins0[k] + maxs0[k]) * 0.5f);
        EXPECT_EQ(frame_field(bytes, 1, Md3Frame::mins, k), mins1[k]);
        EXPECT_EQ(frame_field(bytes, 1, Md3Frame::maxs, k), maxs1[k]);
    }
    // The radius is the whole diagonal of the box.
    EXPECT_EQ(Md3Frame::radius(bytes.data() + frame_offset(bytes.data(), 0)),
              std::sqrt(11.0f * 11.0f + 7 * 7 + 13.5f * 13.5f));
    EXPECT_EQ(Md3Frame::radius(bytes.data() + frame_offset(bytes.data(), 1)), std::sqrt(12.0f));
}

TEST(RepairPass, TouchesNothingItDoesNotOwn) {
    const ModelBuffer before = build_model(sample_model());
    ModelBuffer after = before;
    ASSERT_TRUE(repair(after).ok);

    // Mark every byte the pass may change: model name, frame bounds (not
    // frame names), each surface's first shader name, every normal.
    std::vector<bool> owned(before.size(), false);
    auto own = [&](std::int64_t at, std::int64_t n) { std::fill_n(owned.begin() + at, n, true); };
    own(Md3Header::kName, kNameSize);
    for (int i = 0; i < Md3Header::numFrames(before.data()); ++i)
        own(frame_offset(before.data(), i), Md3Frame::kName);
    for (int s = 0; s < Md3Header::numSurfaces(before.data()); ++s) {
        const std::int64_t at = surface_offset(before.data(), s);
        const std::uint8_t* surface = before.data() + at;
        own(at + Md3Surface::ofsShaders(surface) + Md3Shader::kName, kNameSize);
        const std::int64_t vertices =
            std::int64_t{Md3Surface::numFrames(surface)} * Md3Surface::numVerts(surface);
        for (std::int64_t v = 0; v < vertices; ++v)
            own(at + Md3Surface::ofsXyzNormals(surface) + Md3Vertex::kSize * v + Md3Vertex::kNormal,
                2);
    }
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i]) continue;
        ++changed;
        EXPECT_TRUE(owned[i]) << "byte " << i << " changed";
    }
    EXPECT_GT(changed, 0u);
}

TEST(RepairPass, SurfaceOfMoreThan1024VerticesStopsThePass) {
    auto model_with = [](int numVerts) {
        BuiltModel m = triangle_model({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        m.surfaces[0].frames[0].resize(static_cast<std::size_t>(numVerts),
                                       BuiltVertex{1, 2, 3, 0xBEEF});
        m.surfaces.insert(m.surfaces.begin(),
                          triangle_model({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}).surfaces[0]);
        m.surfaces[0].name = "first";
        return build_model(m);
    };
    ModelBuffer fits = model_with(1024);
    const PassOutput accepted = repair(fits);
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(normal_of(fits, 1, 0, 1023), 0xBEEF);  // unused, but inside the accumulator
    EXPECT_EQ(normal_of(fits, 1, 0, 0), 128);

    ModelBuffer tooBig = model_with(1025);
    const PassOutput refused = repair(tooBig);
    EXPECT_FALSE(refused.ok);
    const std::string tail =
        "Fixing surface:        surface\n"
        "Fixing shader:         shader\n"
        "Done:                  shader\n"
        "Fixing frames/normals: 1 frames 1 tris 1025 verts\n";
    ASSERT_GE(refused.lines.size(), tail.size());
    EXPECT_EQ(refused.lines.substr(refused.lines.size() - tail.size()), tail);
    EXPECT_NE(refused.lines.find("Fixing surface:        first\n"), std::string::npos);
}
